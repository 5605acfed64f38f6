// Address texts, error texts and host look-up of the socket stack.
#include "snmp/IdStack.h"
#include "snmp/IdException.h"
#include "snmp/IdUDPBase.h"

#include <gtest/gtest.h>

using veltrum::EIdInvalidIPAddress;
using veltrum::EIdSocketError;
using veltrum::TIdIPv4;
using veltrum::TIdStack;

namespace {

std::string Parsed(const std::string& text) {
    return TIdStack::FormatAddress(TIdStack::ParseAddressText(text));
}

// Keeps the shared stack alive for tests that reach it.
class StackUser final : public veltrum::TIdComponent {};

} // namespace

TEST(ParseAddressText, FourForms) {
    EXPECT_EQ(Parsed("192.168.1.1"), "192.168.1.1");
    EXPECT_EQ(Parsed("10.1"), "10.0.0.1");
    EXPECT_EQ(Parsed("10.1.258"), "10.1.1.2");
    EXPECT_EQ(Parsed("10.65536"), "10.1.0.0");
    EXPECT_EQ(Parsed("3232235777"), "192.168.1.1"); // 192.168.1.1 as one number
    EXPECT_EQ(Parsed("0"), "0.0.0.0");
    EXPECT_EQ(Parsed("4294967295"), "255.255.255.255");
    EXPECT_EQ(Parsed("127.1"), "127.0.0.1");
}

TEST(ParseAddressText, RangeLimitsOfEachForm) {
    EXPECT_EQ(Parsed("1.2.3.255"), "1.2.3.255");
    EXPECT_FALSE(TIdStack::IsAddressText("1.2.3.256"));
    EXPECT_EQ(Parsed("1.2.65535"), "1.2.255.255");
    EXPECT_FALSE(TIdStack::IsAddressText("1.2.65536"));
    EXPECT_EQ(Parsed("1.16777215"), "1.255.255.255");
    EXPECT_FALSE(TIdStack::IsAddressText("1.16777216"));
    EXPECT_FALSE(TIdStack::IsAddressText("4294967296"));
    EXPECT_FALSE(TIdStack::IsAddressText("256.1.1.1"));
    EXPECT_FALSE(TIdStack::IsAddressText("1.256.1"));
    EXPECT_FALSE(TIdStack::IsAddressText("-1"));
    EXPECT_FALSE(TIdStack::IsAddressText("1.-1.1.1"));
}

TEST(ParseAddressText, PartsFollowTheDefaultingConversion) {
    // Each part is read like any number of the client: leading blanks and
    // hexadecimal are accepted, a trailing blank is not.
    EXPECT_EQ(Parsed(" 10.$A.0x0B. 12"), "10.10.11.12");
    EXPECT_EQ(Parsed("$C0A80101"), "192.168.1.1");
    EXPECT_FALSE(TIdStack::IsAddressText("10.1 "));
    EXPECT_FALSE(TIdStack::IsAddressText(""));
    EXPECT_FALSE(TIdStack::IsAddressText("1..2"));
    EXPECT_FALSE(TIdStack::IsAddressText("1.2.3.4.5")); // the fourth part is "4.5"
    EXPECT_FALSE(TIdStack::IsAddressText("router.lan"));
    EXPECT_FALSE(TIdStack::IsAddressText("localhost"));
}

TEST(ParseAddressText, InvalidTextRaisesWithTheText) {
    try {
        (void)TIdStack::ParseAddressText("10.0.0.300");
        FAIL() << "no exception";
    } catch (const EIdInvalidIPAddress& error) {
        EXPECT_STREQ(error.what(), "10.0.0.300 is not a valid IP address.");
    }
    EXPECT_THROW((void)TIdStack::ParseAddressText("host.invalid"), veltrum::EIdStackError);
}

TEST(FormatAddress, DecimalOctets) {
    EXPECT_EQ(TIdStack::FormatAddress(TIdIPv4{0, 10, 255, 7}), "0.10.255.7");
}

TEST(SocketErrorText, Table) {
    EXPECT_EQ(TIdStack::SocketErrorText(10054), "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(TIdStack::SocketErrorText(10040), "Socket Error # 10040\r\nMessage too long.");
    EXPECT_EQ(TIdStack::SocketErrorText(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(TIdStack::SocketErrorText(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(TIdStack::SocketErrorText(11001), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(TIdStack::SocketErrorText(10004), "Socket Error # 10004\r\nInterrupted system call.");
    EXPECT_EQ(TIdStack::SocketErrorText(10065), "Socket Error # 10065\r\nNo route to host.");
    EXPECT_EQ(TIdStack::SocketErrorText(12345), "Socket Error # 12345\r\n");
    EXPECT_EQ(TIdStack::SocketErrorText(10067), "Socket Error # 10067\r\n");
}

TEST(TranslateErrno, WinsockCodes) {
    EXPECT_EQ(TIdStack::TranslateErrno(EAGAIN), 10035);
    EXPECT_EQ(TIdStack::TranslateErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(TIdStack::TranslateErrno(EPERM), 10013);
    EXPECT_EQ(TIdStack::TranslateErrno(EMSGSIZE), 10040);
    EXPECT_EQ(TIdStack::TranslateErrno(ECONNRESET), 10054);
    EXPECT_EQ(TIdStack::TranslateErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(TIdStack::TranslateErrno(ENOTEMPTY), 10066);
    EXPECT_EQ(TIdStack::TranslateErrno(EIO), EIO); // no counterpart: the errno itself
}

TEST(LookUpAddress, LocalhostAndAddressTextsNeedNoLookUp) {
    StackUser user;
    TIdStack& stack = veltrum::SocketStack();
    EXPECT_EQ(stack.LookUpAddress("localhost"), "127.0.0.1");
    EXPECT_EQ(stack.LookUpAddress("LocalHost"), "127.0.0.1");
    EXPECT_EQ(stack.LookUpAddress("10.1"), "10.1"); // unchanged; parsed at the send
    EXPECT_EQ(stack.LookUpAddress("3232235777"), "3232235777");
}

TEST(LookUpAddress, UnknownHostRaisesHostNotFound) {
    StackUser user;
    TIdStack& stack = veltrum::SocketStack();
    try {
        (void)stack.LookUpAddress("no-such-agent.invalid");
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.LastError(), 11001);
        EXPECT_STREQ(error.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_EQ(stack.LastError(), 11001);
}

TEST(SplitHostPort, HostWithPort) {
    std::string host = "unchanged";
    int32_t port = 161;
    ASSERT_TRUE(veltrum::SplitHostPort("127.0.0.1:1161", host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 1161);
    ASSERT_TRUE(veltrum::SplitHostPort("router.lan:16100", host, port));
    EXPECT_EQ(host, "router.lan");
    EXPECT_EQ(port, 16100);
    ASSERT_TRUE(veltrum::SplitHostPort("a:b:65535", host, port)); // split at the last colon
    EXPECT_EQ(host, "a:b");
    EXPECT_EQ(port, 65535);
}

TEST(SplitHostPort, TextsLeftWhole) {
    for (const char* text : {"192.168.1.1", "host:", "host:0", "host:65536", "host:+161", "host:16x",
                             "host: 161", "host:123456", ":-1", "localhost"}) {
        std::string host = "unchanged";
        int32_t port = 161;
        EXPECT_FALSE(veltrum::SplitHostPort(text, host, port)) << text;
        EXPECT_EQ(host, "unchanged") << text;
        EXPECT_EQ(port, 161) << text;
    }
}

TEST(EIdWS2StubError, MessageWithAndWithoutSystemText) {
    EXPECT_STREQ(
        veltrum::EIdWS2StubError("Error on loading Winsock2 library (WS2_32.DLL)", 126, "not found").what(),
        "Error on loading Winsock2 library (WS2_32.DLL): not found");
    EXPECT_STREQ(
        veltrum::EIdWS2StubError("Error on loading Winsock2 library (WS2_32.DLL)", 0, "ignored").what(),
        "Error on loading Winsock2 library (WS2_32.DLL)");
}
