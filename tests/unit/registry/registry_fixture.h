// The registry fixtures: a FakeMachine, its log, and a seeded toolkit tree for the ladders.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fs/paths.h"
#include "platform/fake/FakeMachine.h"
#include "support/unicode.h"

namespace orvo::registry::fixture {

using fake::FakeMachine;

inline std::vector<std::uint8_t> Bytes(const std::string& utf8) {
  return support::ToUtf16Bytes(utf8);
}
inline std::vector<std::uint8_t> Dword(std::uint32_t n) {
  return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
          static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
}
inline std::string N(std::size_t n = 1) { return std::string(n, '\0'); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::ResetFsState(); }
  // Debug lines that mention this text.
  std::vector<std::string> LinesWith(const std::string& text) const {
    std::vector<std::string> out;
    for (const auto& line : machine.debugLines) {
      if (line.find(text) != std::string::npos) out.push_back(line);
    }
    return out;
  }
  FakeMachine machine;
};

// The toolkit's tree (64-bit and 32-bit views), decoys beside it and the native reg.exe.
class RegistryLadderTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    for (const char* key :
         {"HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\Installed",
          "HKLM\\Software\\Tarnwick\\Orvo\\Shell Extensions\\DefaultBackups",
          "HKLM\\Software\\Tarnwick\\Updater", "HKLM\\Software\\TarnwickOther\\Keep",
          "HKLM\\Software\\Tarnwick2", "HKLM\\Software\\Wow6432Node\\Tarnwick\\Orvo"}) {
      machine.AddKey(key);
    }
    machine.SetStringValue("HKLM\\Software\\Tarnwick\\Orvo", "Version", "3.1");
    machine.AddFile("C:\\windows\\system32\\reg.exe");  // the native tool (through Sysnative)
    machine.InstallProgram("C:\\windows\\system32\\reg.exe");
  }
  void ExpectDecoysKept() {
    EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\TarnwickOther\\Keep"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Tarnwick2"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Software\\Wow6432Node\\Tarnwick\\Orvo"));
  }
};

}  // namespace orvo::registry::fixture
