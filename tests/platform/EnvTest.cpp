#include <gtest/gtest.h>

#include "platform/Env.h"
#include "platform/LastError.h"

namespace {

TEST(EnvTest, ExactNameFirstThenAnyCase) {
  platform::setEnv("VemoraEnvProbe", std::string("mixed"));
  EXPECT_EQ(platform::getEnv("VemoraEnvProbe").value(), "mixed");
  EXPECT_EQ(platform::getEnv("VEMORAENVPROBE").value(), "mixed");
  platform::setEnv("VEMORAENVPROBE", std::string("upper"));
  EXPECT_EQ(platform::getEnv("VemoraEnvProbe").value(), "mixed");
  EXPECT_EQ(platform::getEnv("VEMORAENVPROBE").value(), "upper");
  platform::setEnv("VemoraEnvProbe", std::nullopt);
  platform::setEnv("VEMORAENVPROBE", std::nullopt);
  EXPECT_FALSE(platform::getEnv("vemoraenvprobe").has_value());
  EXPECT_EQ(platform::lastError(), platform::kErrorEnvVarNotFound);
}

TEST(EnvTest, EmptyValueIsNotMissing) {
  platform::setEnv("VEMORA_EMPTY_PROBE", std::string());
  EXPECT_EQ(platform::getEnv("VEMORA_EMPTY_PROBE").value(), "");
  platform::setEnv("VEMORA_EMPTY_PROBE", std::nullopt);
  EXPECT_FALSE(platform::getEnv("").has_value());
  EXPECT_FALSE(platform::getEnv("A=B").has_value());
}

TEST(LastErrorTest, MapsErrnoAndIsPerThread) {
  EXPECT_EQ(platform::errorFromErrno(ENOENT), platform::kErrorFileNotFound);
  EXPECT_EQ(platform::errorFromErrno(EACCES), platform::kErrorAccessDenied);
  EXPECT_EQ(platform::errorFromErrno(EEXIST), platform::kErrorAlreadyExists);
  EXPECT_EQ(platform::errorFromErrno(ENOTEMPTY), platform::kErrorDirNotEmpty);
  EXPECT_EQ(platform::setLastErrorFromErrno(ENOTDIR), platform::kErrorPathNotFound);
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
  EXPECT_EQ(platform::errorText(2), "The system cannot find the file specified.");
  EXPECT_FALSE(platform::errorText(99999).empty());
}

}  // namespace
