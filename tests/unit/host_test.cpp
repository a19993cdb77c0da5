#include "app/host.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_system.h"

namespace {

using platform::fake::FakeSystem;

class HostTest : public ::testing::Test {
 protected:
  std::u16string Line() { return app::HostLine(system_, app::QueryHost(system_)); }
  // The library was loaded and freed again, or never loaded.
  void ExpectLibraryReleased() {
    EXPECT_EQ(system_.loadedLibraries.size(), system_.freedLibraries.size());
  }

  FakeSystem system_;
};

TEST_F(HostTest, NameAndFirstAddressAfterTwoStartUpsAndOneCleanup) {
  EXPECT_EQ(Line(), u"- Host: \"QRT-TEST\", IP: 10.1.2.3\r\n");
  EXPECT_EQ(system_.loadedLibraries, std::vector<std::u16string>{u"WS2_32.DLL"});
  EXPECT_EQ(system_.freedLibraries, std::vector<std::u16string>{u"WS2_32.DLL"});
  // The probe for version 0.1 fails but offers 2.2, which the second call
  // then gets.
  EXPECT_EQ(system_.winsock.startupRequests, (std::vector<std::uint16_t>{0x0100, 0x0202}));
  EXPECT_EQ(system_.winsock.cleanups, 1);
  EXPECT_EQ(system_.winsock.hostNameBufferLengths, std::vector<int>{299});
  EXPECT_EQ(system_.winsock.resolvedNames, std::vector<std::string>{"QRT-TEST"});
}

TEST_F(HostTest, MissingLibraryOrFunctionGivesAnEmptyNameAndNoAddress) {
  system_.loadableLibraries.erase(u"WS2_32.DLL");
  EXPECT_EQ(Line(), u"- Host: \"\", IP: 0.0.0.0\r\n");
  for (const char* function : {"WSAStartup", "WSACleanup", "gethostname", "gethostbyname"}) {
    FakeSystem system;
    system.winsock.missingFunctions = {function};
    EXPECT_EQ(app::HostLine(system, app::QueryHost(system)), u"- Host: \"\", IP: 0.0.0.0\r\n")
        << function;
    EXPECT_TRUE(system.winsock.startupRequests.empty()) << function;
    EXPECT_EQ(system.winsock.cleanups, 0) << function;
    EXPECT_EQ(system.freedLibraries, std::vector<std::u16string>{u"WS2_32.DLL"}) << function;
  }
}

TEST_F(HostTest, RefusedStartUpAsksNothingButStillCleansUpOnce) {
  const struct {
    const char* label;
    std::deque<int> errors;
    std::vector<std::uint16_t> requests;
  } cases[] = {
      // A first call that fills nothing makes the second ask for version 0.
      {"first refused", {10091}, {0x0100, 0x0000}},
      {"second refused", {0, 10091}, {0x0100, 0x0202}},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.winsock.startupErrors = c.errors;
    EXPECT_EQ(app::HostLine(system, app::QueryHost(system)), u"- Host: \"\", IP: 0.0.0.0\r\n")
        << c.label;
    EXPECT_EQ(system.winsock.startupRequests, c.requests) << c.label;
    EXPECT_TRUE(system.winsock.hostNameBufferLengths.empty()) << c.label;
    EXPECT_EQ(system.winsock.cleanups, 1) << c.label;
    EXPECT_EQ(system.freedLibraries, std::vector<std::u16string>{u"WS2_32.DLL"}) << c.label;
  }
}

TEST_F(HostTest, NameStaysWhenItCannotBeResolved) {
  system_.winsock.hosts.clear();
  EXPECT_EQ(Line(), u"- Host: \"QRT-TEST\", IP: 0.0.0.0\r\n");
  // An entry without addresses, or with a short one, gives no address either.
  system_.winsock.hosts["QRT-TEST"] = {};
  EXPECT_EQ(Line(), u"- Host: \"QRT-TEST\", IP: 0.0.0.0\r\n");
  system_.winsock.hosts["QRT-TEST"] = {{1, 2}};
  EXPECT_EQ(Line(), u"- Host: \"QRT-TEST\", IP: 0.0.0.0\r\n");
  ExpectLibraryReleased();
}

TEST_F(HostTest, UnknownNameIsEmptyAndResolvedAsSuch) {
  system_.winsock.hostName.reset();
  system_.winsock.hosts[""] = {{127, 0, 0, 1}};
  EXPECT_EQ(Line(), u"- Host: \"\", IP: 127.0.0.1\r\n");
  EXPECT_EQ(system_.winsock.resolvedNames, std::vector<std::string>{""});
}

TEST_F(HostTest, NameIsAnsiTextAndAsLongAsTheBufferAllows) {
  system_.winsock.hostName = "CAF\xC9";
  system_.winsock.hosts = {{"CAF\xC9", {{192, 0, 2, 255}}}};
  EXPECT_EQ(Line(), u"- Host: \"CAF\u00C9\", IP: 192.0.2.255\r\n");
  // 298 bytes and the zero fill the 299-byte buffer; one more does not fit.
  system_.winsock.hostName = std::string(298, 'h');
  EXPECT_EQ(app::QueryHost(system_).name.size(), 298u);
  system_.winsock.hostName = std::string(299, 'h');
  EXPECT_EQ(app::QueryHost(system_).name, "");
}

}  // namespace
