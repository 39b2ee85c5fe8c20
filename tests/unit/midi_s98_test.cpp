// Tests of the MIDI and S98 analysers.
#include <gtest/gtest.h>
