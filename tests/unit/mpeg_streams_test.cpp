// Tests of the program stream and transport stream analysers.
#include <gtest/gtest.h>
