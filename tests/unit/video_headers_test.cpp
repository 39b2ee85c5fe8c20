// Tests of the video elementary header decoders.
#include <gtest/gtest.h>
