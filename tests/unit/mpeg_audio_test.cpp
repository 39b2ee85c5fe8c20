// Tests of the MPEG audio (MP1, MP2, MP3) analyser and decoders.
#include <gtest/gtest.h>
