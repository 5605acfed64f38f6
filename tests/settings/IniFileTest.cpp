#include "settings/IniFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <filesystem>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace std::string_literals;
using veltrum::EIniFileException;
using veltrum::TIniFile;
using veltrum::test::ReadBytes;
using veltrum::test::TempDir;
using veltrum::test::WriteBytes;

namespace {

// A profile whose [Download] section holds `value` as ident 01.
int32_t readDownload(const TempDir& dir, const std::string& value) {
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Download]\n01=" + value + "\n");
    return TIniFile(path).ReadInteger("Download", "01", 1024);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

size_t entriesIn(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

std::string expectWriteError(TIniFile& ini, const std::string& section, const std::string& value) {
    try {
        ini.WriteString(section, "01", value);
    } catch (const EIniFileException& e) {
        return e.what();
    }
    ADD_FAILURE() << "write to " << ini.FileName() << " did not fail";
    return {};
}

} // namespace

TEST(ReadInteger, HexadecimalForms) {
    TempDir dir;
    EXPECT_EQ(readDownload(dir, "0x800"), 2048);
    EXPECT_EQ(readDownload(dir, "$800"), 2048);
    EXPECT_EQ(readDownload(dir, "0X1f"), 31);
    EXPECT_EQ(readDownload(dir, "0x00000000000012"), 18);
    // Taken as the 32-bit pattern.
    EXPECT_EQ(readDownload(dir, "$FFFFFFFF"), -1);
    EXPECT_EQ(readDownload(dir, "0x80000000"), INT32_MIN);
    // Read whole as int32; narrowing to the opacity's 16 bits is the state's job.
    EXPECT_EQ(readDownload(dir, "0x100FF"), 65791);
}

TEST(ReadInteger, DecimalRange) {
    TempDir dir;
    EXPECT_EQ(readDownload(dir, "-12"), -12);
    EXPECT_EQ(readDownload(dir, "+7"), 7);
    EXPECT_EQ(readDownload(dir, "007"), 7);
    EXPECT_EQ(readDownload(dir, "2147483647"), INT32_MAX);
    EXPECT_EQ(readDownload(dir, "-2147483648"), INT32_MIN);
    EXPECT_EQ(readDownload(dir, " \t 65535  \t"), 65535);
}

TEST(ReadInteger, UndecodableTextGivesDefault) {
    TempDir dir;
    for (const char* text : {"2k",
                             "",
                             "0x",
                             "$",
                             "x10",
                             "X10",
                             "-0x10",
                             "-$10",
                             "0x1g",
                             "$ 10",
                             "1 2",
                             "12abc",
                             "-",
                             "+",
                             "0x100000000",
                             "$1FFFFFFFF",
                             "2147483648",
                             "-2147483649",
                             "99999999999999999999999",
                             "1.5",
                             "1e3"}) {
        EXPECT_EQ(readDownload(dir, text), 1024) << "value \"" << text << "\"";
    }
}

TEST(ReadBool, NonZeroIntegerIsTrue) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[PokazSrednie]\n01=2\n[Autoscala]\n01=yes\n[LinieMax]\n01=yes\n[F]\n01=1\n"
                     "[PokazWykres]\n01=0\n[TStopien]\n01=-1\n");
    const TIniFile ini(path);
    EXPECT_TRUE(ini.ReadBool("PokazSrednie", "01", true));
    EXPECT_TRUE(ini.ReadBool("PokazSrednie", "01", false));
    // Undecodable: the default, whichever it is.
    EXPECT_TRUE(ini.ReadBool("Autoscala", "01", true));
    EXPECT_FALSE(ini.ReadBool("LinieMax", "01", false));
    EXPECT_TRUE(ini.ReadBool("F", "01", false));
    EXPECT_FALSE(ini.ReadBool("PokazWykres", "01", true));
    EXPECT_TRUE(ini.ReadBool("TStopien", "01", false));
    EXPECT_TRUE(ini.ReadBool("Missing", "01", true));
    EXPECT_FALSE(ini.ReadBool("Missing", "01", false));
}

TEST(ReadString, NamesIgnoreCaseAndValueBlanksAreDropped) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[host]\n01=10.0.0.1\n  [ SESJA ]  \n  Ab  =   a b  \t\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Host", "01", "x"), "10.0.0.1");
    EXPECT_EQ(ini.ReadString("HOST", "01", "x"), "10.0.0.1");
    EXPECT_EQ(ini.ReadString("Sesja", "aB", "x"), "a b");
}

TEST(ReadString, MissingFileSectionOrIdentGivesDefault) {
    TempDir dir;
    EXPECT_EQ(TIniFile(dir.File("none.vlq")).ReadString("Host", "01", "192.168.1.1"), "192.168.1.1");
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n02=a\n01\n[Sesja]\n01=s\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Host", "01", "def"), "def");
    EXPECT_EQ(ini.ReadString("Haslo", "01", "qorvex"), "qorvex");
    // An ident of another section does not leak into a missing one.
    EXPECT_EQ(ini.ReadString("Sesj", "01", "def"), "def");
    // Present but empty is a value, not a missing ident.
    WriteBytes(path, "[Host]\n01=\n");
    EXPECT_EQ(TIniFile(path).ReadString("Host", "01", "def"), "");
}

TEST(ReadString, ValueCutAt2047Characters) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    const std::string longValue = std::string(2047, 'a') + "bcd";
    WriteBytes(path, "[Sesja]\n01=" + longValue + "\n[Host]\n01=" + std::string(2047, 'z') + "\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Sesja", "01", ""), std::string(2047, 'a'));
    EXPECT_EQ(ini.ReadString("Host", "01", ""), std::string(2047, 'z'));
}

TEST(ReadString, FirstOccurrenceWins) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n01=first\n01=second\n[HOST]\n01=third\n[Sesja]\n[sesja]\n01=later\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Host", "01", ""), "first");
    // The first section lacks the ident; a later one of the same name has it.
    EXPECT_EQ(ini.ReadString("Sesja", "01", ""), "later");
}

TEST(ReadString, QuotesKeptAndNulEndsValue) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Haslo]\n01=\"pub lic\"\n[Host]\n01=10.0.0.1\0evil\n"s);
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Haslo", "01", ""), "\"pub lic\"");
    EXPECT_EQ(ini.ReadString("Host", "01", ""), "10.0.0.1");
}

TEST(ReadString, HostileFilesGiveDefaults) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");

    std::mt19937 rng(12345);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng() & 0xFF);
    WriteBytes(path, garbage);
    EXPECT_EQ(TIniFile(path).ReadInteger("Download", "01", 1024), 1024);
    EXPECT_EQ(TIniFile(path).ReadString("Host", "01", "h"), "h");

    // A folder or a FIFO at the path: no hang, no failure, just defaults.
    EXPECT_EQ(TIniFile(dir.Dir()).ReadString("Host", "01", "h"), "h");
    const std::string fifo = dir.File("fifo.vlq");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(TIniFile(fifo).ReadString("Host", "01", "h"), "h");
}

TEST(ReadString, OddLayouts) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    // Byte-order mark in front of the first section, mixed line breaks, no final newline.
    WriteBytes(path, "\xEF\xBB\xBF[Host]\r\n01=10.0.0.1\r\n[Sesja]\n01=lf\n[Haslo]\r\n01=last");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Host", "01", ""), "10.0.0.1");
    EXPECT_EQ(ini.ReadString("Sesja", "01", ""), "lf");
    EXPECT_EQ(ini.ReadString("Haslo", "01", ""), "last");

    // A long line before the section, and a long value, within the largest
    // profile read; one octet more and the file is no profile: defaults.
    const std::string huge(400 * 1024, 'q');
    WriteBytes(path, huge + "\n[Host]\n01=h\n[Sesja]\n01=" + huge + "\n");
    EXPECT_EQ(TIniFile(path).ReadString("Host", "01", ""), "h");
    EXPECT_EQ(TIniFile(path).ReadString("Sesja", "01", ""), std::string(2047, 'q'));
    WriteBytes(path, "[Host]\n01=h\n" + std::string(veltrum::kMaxIniFileBytes, '\n'));
    EXPECT_EQ(TIniFile(path).ReadString("Host", "01", "default"), "default");
    EXPECT_EQ(veltrum::IniFileRefusal(path), "it is larger than 1 MB");
    EXPECT_THROW(TIniFile(path).WriteString("Host", "01", "x"), EIniFileException);
}

TEST(ReadString, FiftyThousandSectionsStayFast) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    std::string text;
    for (int i = 0; i < 50000; ++i)
        text += "[S" + std::to_string(i) + "]\n01=" + std::to_string(i) + "\n";
    WriteBytes(path, text);
    const TIniFile ini(path);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ini.ReadInteger("S49999", "01", -1), 49999);
    EXPECT_EQ(ini.ReadInteger("Missing", "01", -1), -1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));

    TIniFile(path).WriteInteger("s49998", "01", 7);
    std::string expected = text;
    expected.replace(expected.find("01=49998\n"), 8, "01=7");
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST(WriteString, CreatesPrivateFileSectionAndIdent) {
    TempDir dir;
    const std::string path = dir.File("Default.vlq");
    TIniFile ini(path);
    ini.WriteString("Host", "01", "192.168.1.1");
    ini.WriteInteger("NumerInterfaceu", "01", 1);
    ini.WriteInteger("KolorDownload", "01", 65535);
    ini.WriteInteger("PozTop", "01", -12);
    ini.WriteBool("PokazSrednie", "01", true);
    ini.WriteBool("LinieMax", "01", false);
    EXPECT_EQ(ReadBytes(path), "[Host]\n01=192.168.1.1\n[NumerInterfaceu]\n01=1\n[KolorDownload]\n01=65535\n"
                               "[PozTop]\n01=-12\n[PokazSrednie]\n01=1\n[LinieMax]\n01=0\n");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(entriesIn(dir.Dir()), 1u);

    ini.WriteInteger("Download", "01", INT32_MIN);
    EXPECT_EQ(ini.ReadInteger("Download", "01", 0), INT32_MIN);
}

TEST(WriteString, ReplacesInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "; hand-edited\n\n[host]\n  01 =  old value  \nnote without equals\n\n"
                     "[Sesja]\n01=s\n");
    TIniFile ini(path);
    ini.WriteString("HOST", "01", "10.0.0.9");
    EXPECT_EQ(ReadBytes(path), "; hand-edited\n\n[host]\n  01 =10.0.0.9\nnote without equals\n\n"
                               "[Sesja]\n01=s\n");
}

TEST(WriteString, NewIdentGoesAfterLastNonBlankLineOfSection) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n01=h\n\n\n[Sesja]\n");
    TIniFile ini(path);
    ini.WriteString("host", "02", "x");
    ini.WriteString("Sesja", "01", "s");
    EXPECT_EQ(ReadBytes(path), "[Host]\n01=h\n02=x\n\n\n[Sesja]\n01=s\n");
}

TEST(WriteString, NewSectionGoesAtEnd) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n01=h");
    TIniFile ini(path);
    ini.WriteString("Haslo", "01", "c");
    EXPECT_EQ(ReadBytes(path), "[Host]\n01=h\n[Haslo]\n01=c\n");

    // The last line lacks a line break and is the section's last line.
    WriteBytes(path, "[Host]\n01=h");
    ini.WriteString("Host", "02", "x");
    EXPECT_EQ(ReadBytes(path), "[Host]\n01=h\n02=x\n");

    // Replacing a value on that last line adds nothing.
    WriteBytes(path, "[Host]\n01=h");
    ini.WriteString("Host", "01", "y");
    EXPECT_EQ(ReadBytes(path), "[Host]\n01=y");
}

TEST(WriteString, KeepsLineEndingStyle) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "\xEF\xBB\xBF[Host]\r\n01=h\r\n[Sesja]\n01=s\n");
    TIniFile ini(path);
    ini.WriteString("Host", "01", "n");
    ini.WriteString("Sesja", "01", "t");
    ini.WriteString("Host", "02", "x");
    ini.WriteString("Haslo", "01", "c");
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[Host]\r\n01=n\r\n02=x\r\n[Sesja]\n01=t\n[Haslo]\r\n01=c\r\n");
}

TEST(WriteString, ReplacesFirstOccurrence) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n01=a\n01=b\n[HOST]\n01=c\n[Sesja]\n[Sesja]\n01=s\n[Haslo]\n[haslo]\n");
    TIniFile ini(path);
    ini.WriteString("Host", "01", "A");
    ini.WriteString("Sesja", "01", "S");
    ini.WriteString("Haslo", "01", "H");
    EXPECT_EQ(ReadBytes(path),
              "[Host]\n01=A\n01=b\n[HOST]\n01=c\n[Sesja]\n[Sesja]\n01=S\n[Haslo]\n01=H\n[haslo]\n");
    EXPECT_EQ(ini.ReadString("Host", "01", ""), "A");
}

TEST(WriteString, HostileFileKeepsEveryOtherByte) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    std::mt19937 rng(777);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng() & 0xFF);
    garbage += std::string(800 * 1024, 'L'); // a long last line, no final newline
    WriteBytes(path, garbage);
    TIniFile ini(path);
    ini.WriteString("Host", "01", "10.0.0.1");
    const std::string after = ReadBytes(path);
    ASSERT_EQ(after.size(), garbage.size() + std::string("\n[Host]\n01=10.0.0.1\n").size());
    EXPECT_EQ(after.compare(0, garbage.size(), garbage), 0);
    EXPECT_EQ(ini.ReadString("Host", "01", ""), "10.0.0.1");
}

TEST(WriteString, ReplacedFileKeepsModeAndSymlink) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n01=h\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    TIniFile(path).WriteString("Host", "01", "n");
    EXPECT_EQ(modeOf(path), 0644u);

    const std::string link = dir.File("link.vlq");
    std::filesystem::create_symlink(path, link);
    TIniFile(link).WriteString("Host", "01", "via link");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(path), "[Host]\n01=via link\n");
}

// A store that will hold keys: the file is 0600 after every write, whatever
// it was, and so is the temporary file the write goes through.
TEST(WriteString, PrivateStoreLeavesTheFileOwnerOnly) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    WriteBytes(path, "[Host]\n01=h\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    TIniFile ini(path);
    ini.SetPrivate();
    ini.WriteString("KluczeV3", "01", "keys");
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST(WriteString, RefusesTextThatWouldChangeTheLayout) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    const std::string before = "[Haslo]\n01=public\n";
    WriteBytes(path, before);
    TIniFile ini(path);
    EXPECT_EQ(expectWriteError(ini, "Haslo", "x\n[Host]\n01=evil"), "Unable to write to " + path);
    EXPECT_EQ(expectWriteError(ini, "Haslo", "x\ry"), "Unable to write to " + path);
    EXPECT_EQ(expectWriteError(ini, "Haslo", "x\0y"s), "Unable to write to " + path);
    EXPECT_EQ(expectWriteError(ini, "Ho]st", "x"), "Unable to write to " + path);
    EXPECT_THROW(ini.WriteString("Haslo", "0=1", "x"), EIniFileException);
    EXPECT_THROW(ini.WriteString("Haslo", "[Host]", "x"), EIniFileException);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(WriteString, MissingFolderFailsWithMessage) {
    TempDir dir;
    const std::string path = dir.File("no-such-folder/Default.vlq");
    TIniFile ini(path);
    EXPECT_EQ(expectWriteError(ini, "Host", "h"), "Unable to write to " + path);

    // A file standing where the folder should be.
    WriteBytes(dir.File("plain"), "x");
    TIniFile under(dir.File("plain/Default.vlq"));
    EXPECT_EQ(expectWriteError(under, "Host", "h"), "Unable to write to " + dir.File("plain/Default.vlq"));

    // A folder standing at the profile's path stays as it was.
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder.vlq")));
    TIniFile folder(dir.File("folder.vlq"));
    EXPECT_THROW(folder.WriteString("Host", "01", "h"), EIniFileException);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.vlq")));
    EXPECT_EQ(entriesIn(dir.Dir()), 2u);
}

// A full disk in the middle of a save: the file-size limit makes the write
// of the temporary file fail (it applies to root as well), so the old
// profile must come through byte for byte and no temporary file remain.
TEST(WriteString, FailedWriteLeavesOldFileIntact) {
    TempDir dir;
    const std::string path = dir.File("p.vlq");
    const std::string before = "[Host]\r\n01=192.168.1.1\r\n[Haslo]\r\n01=qorvex\r\n";
    WriteBytes(path, before);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    std::string message;
    try {
        TIniFile(path).WriteString("Sesja", "01", std::string(200, 's'));
    } catch (const EIniFileException& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(entriesIn(dir.Dir()), 1u);
}
