// Tests of the DTS in its four word packings analyser and decoders.
#include <gtest/gtest.h>
