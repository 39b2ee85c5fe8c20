// Tests of the Ogg analyser and the Vorbis decoders.
#include <gtest/gtest.h>
