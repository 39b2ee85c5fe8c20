// Tests of the AAC (ADTS and ADIF) analyser and decoders.
#include <gtest/gtest.h>
