// Tests of the RIFF analyser (AVI, WAVE) and the stream-header decoders.
#include <gtest/gtest.h>
