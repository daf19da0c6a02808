// main of every test program: a child body when the command line names one
// (child_process.h), the tests otherwise.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/child_process.h"

int main(int argc, char** argv) {
  int status = 0;
  if (tessaly::testing::RunChildIfAsked(argc, argv, &status)) return status;
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
