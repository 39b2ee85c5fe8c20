// Tests of the AC-3 analyser and decoders.
#include <gtest/gtest.h>
