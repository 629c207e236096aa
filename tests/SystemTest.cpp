// The system seam's looks at where a document may go, the reading of a
// Windows command line, and the texts messages are made of.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "TestSupport.h"
#include "common/System.h"
#include "common/Text.h"

#ifdef _WIN32
#include <windows.h>

#include "common/SystemWindows.h"
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using folder2pdf::fileIdentity;
using folder2pdf::OutputProblem;
using folder2pdf::outputProblem;
using testsupport::TempDir;

TEST(ShownName, ControlsAndBrokenUtf8AreQuotedAsBashReadsThemBack) {
    for (const auto& [name, shown] : std::initializer_list<std::pair<std::string, std::string>>{
             {"a.jpg", "a.jpg"},
             {"图片/a b's\\c.jpg",
              "图片/a b's\\c.jpg"},  // quotes and backslashes alone: as they are
             {"", ""},
             {"a\nb.jpg", "$'a\\nb.jpg'"},
             {"\t\r\x1b[2J.png", "$'\\t\\r\\e[2J.png'"},
             {"it's\x01\\", "$'it\\'s\\x01\\\\'"},
             {"\x7f", "$'\\x7f'"},
             {"\xc2\x9b"
              "31m",
              "$'\\xc2\\x9b31m'"},  // C1's CSI, valid UTF-8 yet a control
             {"\xff\xfe.bmp", "$'\\xff\\xfe.bmp'"},
             {"\xe5\x9b.gif", "$'\\xe5\\x9b.gif'"},             // cut short: each byte alone
             {"\xc0\xaf", "$'\\xc0\\xaf'"},                     // an overlong "/"
             {"\xed\xa0\x80", "$'\\xed\\xa0\\x80'"},            // a surrogate
             {"\xf4\x90\x80\x80", "$'\\xf4\\x90\\x80\\x80'"},   // past U+10FFFF
             {"\xf0\x9f\x93\xb7\n", "$'\xf0\x9f\x93\xb7\\n'"},  // a camera stays itself
             {"$'x'", "$'$\\'x\\''"},  // looks quoted: quoted, so it can't pass for another
         }) {
        EXPECT_EQ(folder2pdf::shownName(name), shown);
    }
}

TEST(GroupedNumber, CommasGoBetweenGroupsOfThree) {
    for (const auto& [number, text] : std::initializer_list<std::pair<std::uint64_t, const char*>>{
             {0, "0"},
             {999, "999"},
             {1000, "1,000"},
             {2187000000, "2,187,000,000"},
             {18446744073709551615u, "18,446,744,073,709,551,615"}}) {
        EXPECT_EQ(folder2pdf::groupedNumber(number), text);
    }
}

// Hard links and spellings of one path share an identity; what isn't there has none.
TEST(FileIdentity, IsTheFileWhateverPathLeadsToIt) {
    const TempDir dir;
    testsupport::writeFile(dir.file("a.jpg"), "a");
    testsupport::writeFile(dir.file("b.jpg"), "a");
    std::filesystem::create_hard_link(testsupport::u8path(dir.file("a.jpg")),
                                      testsupport::u8path(dir.file("hard.jpg")));
    std::filesystem::create_directory(testsupport::u8path(dir.file("sub")));
    const auto a = fileIdentity(dir.file("a.jpg"));
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(fileIdentity(dir.file("hard.jpg")), a);
    EXPECT_EQ(fileIdentity(dir.file("sub/../a.jpg")), a);
    EXPECT_EQ(fileIdentity(dir.file("./a.jpg")), a);
    EXPECT_NE(fileIdentity(dir.file("b.jpg")), a);
    EXPECT_TRUE(fileIdentity(dir.file("sub")).has_value());
    EXPECT_EQ(fileIdentity(dir.file("missing.jpg")), std::nullopt);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const auto relative = fileIdentity("a.jpg"), dotted = fileIdentity("./a.jpg");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(relative, a);
    EXPECT_EQ(dotted, a);
}

#ifndef _WIN32
TEST(OutputProblem, HostileTargetsAreNamedAndFilesAreNot) {
    const TempDir dir;
    const auto at = [&](const char* name) { return dir.file(name); };
    testsupport::writeFile(at("file.pdf"), "%PDF");
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = at("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(listening);
    for (const auto& [link, target] : std::initializer_list<std::pair<const char*, std::string>>{
             {"to-file", at("file.pdf")},
             {"to-nothing", at("gone.pdf")},
             {"to-null", "/dev/null"},
             {"to-fifo", at("fifo")},
             {"to-folder", dir.path().string()},
             {"loop", at("loop")},
             {"to-to-null", at("to-null")}}) {
        ASSERT_EQ(::symlink(target.c_str(), at(link).c_str()), 0) << link;
    }
    for (const auto& [path, problem] : std::initializer_list<std::pair<std::string, OutputProblem>>{
             {at("file.pdf"), OutputProblem::None},
             {at("new.pdf"), OutputProblem::None},
             {at("no-folder/new.pdf"), OutputProblem::None},
             {at("to-file"), OutputProblem::None},
             {"/dev/null", OutputProblem::Device},
             {at("fifo"), OutputProblem::Fifo},
             {socketPath, OutputProblem::Socket},
             {dir.path().string(), OutputProblem::Folder},
             {at("to-folder"), OutputProblem::Folder},
             {at("to-nothing"), OutputProblem::DanglingLink},
             {at("loop"), OutputProblem::DanglingLink},
             {at("to-null"), OutputProblem::LinkToSpecial},
             {at("to-fifo"), OutputProblem::LinkToSpecial},
             {at("to-to-null"), OutputProblem::LinkToSpecial},
             {"NUL", OutputProblem::None},  // a name like any other here
         }) {
        EXPECT_EQ(outputProblem(path), problem) << path;
    }
}
#else
TEST(OutputProblem, DevicesNamesFoldersAndWhatLinksLeadToAreNamed) {
    const TempDir dir;
    testsupport::writeFile(dir.file("file.pdf"), "%PDF");
    for (const auto& [path, problem] : std::initializer_list<std::pair<std::string, OutputProblem>>{
             {dir.file("file.pdf"), OutputProblem::None},
             {dir.file("new.pdf"), OutputProblem::None},
             {dir.file("console.pdf"), OutputProblem::None},
             {dir.file("COM10"), OutputProblem::None},
             {dir.file("LPT0.pdf"), OutputProblem::None},
             {dir.path().string(), OutputProblem::Folder},
             {"NUL", OutputProblem::ReservedName},
             {"nul.pdf", OutputProblem::ReservedName},
             {"C:NUL", OutputProblem::ReservedName},
             {dir.file("Con.tar.gz"), OutputProblem::ReservedName},
             {dir.file("aux .pdf"), OutputProblem::ReservedName},
             {"D:\\docs\\prn", OutputProblem::ReservedName},
             {dir.file("com1.pdf"), OutputProblem::ReservedName},
             {dir.file("LPT9"), OutputProblem::ReservedName},
             {dir.file("com\xc2\xb9.pdf"), OutputProblem::ReservedName},
             {dir.file("CONOUT$"), OutputProblem::ReservedName},
             {"\\\\.\\pipe\\folder2pdf", OutputProblem::Fifo},
             {"\\\\.\\PhysicalDrive0", OutputProblem::Device},
         }) {
        EXPECT_EQ(outputProblem(path), problem) << path;
    }
}

// As the system splits them, with the quote "\"" leaves at the end mended.
TEST(CommandLine, ArgumentsAreSplitAsTheSystemDoesAndAStrayLastQuoteDropped) {
    using Names = testsupport::Names;
    for (const auto& [line, arguments] : std::initializer_list<std::pair<const wchar_t*, Names>>{
             {L"\"C:\\Program Files\\f\\folder2pdf-gui.exe\" \"D:\\图片\"",
              {"C:\\Program Files\\f\\folder2pdf-gui.exe", "D:\\图片"}},
             {L"\"C:\\f\\folder2pdf-gui.exe\" \"P:\\\"", {"C:\\f\\folder2pdf-gui.exe", "P:\\"}},
             {L"folder2pdf \"C:\\My Album\\\"", {"folder2pdf", "C:\\My Album"}},
             {L"folder2pdf P:\\ \"P:\" p:", {"folder2pdf", "P:\\", "P:", "p:"}},
             {L"folder2pdf -o \"a b.pdf\" x", {"folder2pdf", "-o", "a b.pdf", "x"}},
             {L"folder2pdf \"\\\"\" \"\"", {"folder2pdf", "\"", ""}},  // nothing left to mend
         }) {
        EXPECT_EQ(folder2pdf::commandLineArguments(line), arguments);
    }
}
#endif
