// Tests of the FLAC and WavPack analysers.
#include <gtest/gtest.h>
