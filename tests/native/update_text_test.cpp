#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/deployment_text.h"
#include "update/update_section.h"
#include "update/version_request.h"

namespace qvx {
namespace {

TEST(ParseServerAddress, Cases) {
  struct Case { std::string text, expected; } cases[] = {  // "host:port", or "" when malformed
      {"actualizaciones.quorvex.es", "actualizaciones.quorvex.es:80"},  // the default port
      {"127.0.0.1:8080", "127.0.0.1:8080"}, {"h-2_x:1", "h-2_x:1"}, {"h:65535", "h:65535"},
      {"h:0", ""}, {"h:65536", ""}, {"h:000080", ""}, {"h:", ""}, {"h:+80", ""}, {"h:80:81", ""},
      {":80", ""}, {"", ""}, {" h", ""}, {"h ", ""}, {"h\tx", ""}, {"http://h", ""}, {"h/Updates", ""},
      {"h:80/x", ""}, {"user@h", ""}, {"h?x", ""}, {"[::1]:80", ""}, {"a..b", ""}, {".h", ""},
      {"\xFCmlaut.es", ""}, {std::string(253, 'h'), std::string(253, 'h') + ":80"}, {std::string(254, 'h'), ""},
  };
  for (const Case& c : cases) {
    const std::optional<ServerAddress> got = ParseServerAddress(c.text, 80);
    EXPECT_EQ(c.expected, got ? got->host + ":" + std::to_string(got->port) : "") << '"' << c.text << '"';
  }
}

TEST(UpdateSection, Cases) {
  struct Case { std::string path, section; } cases[] = {
      {"C:\\Apps\\Tramitex.exe", "TRAMITEX"}, {"setup.exe", "SETUP"}, {"C:\\a.b\\Gesti\xF3n-2.bin", "GESTI\xD3N-2"},
      {"C:\\x\\\x9A\xFF\xF7\xDF.exe", "\x8A\x9F\xF7\xDF"},  // Windows-1252 has upper cases above 127
      {"C:\\x\\ab.ex", "A"}, {"C:\\x\\a.ex", ""}, {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.section, UpdateSection(c.path)) << c.path;
}

TEST(IsMailboxAddress, Cases) {
  struct Case { std::string text; bool expected; } cases[] = {
      {"soporte@quorvex.es", true}, {"a.b+c_d-e!#$%&'*/=?^`{|}~@h", true}, {"soporte.quorvex.es", false},
      {"a@b@quorvex.es", false}, {"@h", false}, {"s@", false}, {"s t@h", false}, {"<s@h>", false},
      {"s@h\r\nBcc: x@y", false},  // a line break would start a header
      {"s..t@h", false}, {"s@h:25", false}, {"se\xF1or@h", false},
      {std::string(252, 's') + "@h", true}, {std::string(253, 's') + "@h", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, IsMailboxAddress(c.text)) << '"' << c.text << '"';
}

// The application's name goes percent-encoded: only unreserved bytes as given.
TEST(VersionObjectPath, Cases) {
  EXPECT_EQ("/Updates/Version?d=1700000000&p=Tramitex&code=0A1B",
            VersionObjectPath(false, 1700000000, "Tramitex", "0A1B"));
  EXPECT_EQ("/Updates/Versioncc?d=-2147483648&p=AZaz09-._~%20%26code%3D1%23%25%2B%2F%F1%00&code=",
            VersionObjectPath(true, INT32_MIN, std::string("AZaz09-._~ &code=1#%+/\xF1\0", 24), ""));
  std::string all, decoded;  // every byte comes back through the obvious decoder
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string encoded = PercentEncode(all);
  for (size_t i = 0; i < encoded.size(); i += encoded[i] == '%' ? 3 : 1)
    decoded += encoded[i] == '%' ? static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)) : encoded[i];
  EXPECT_EQ(all, decoded);
}

TEST(HostProgramNames, BaseNameAndBuildTag) {
  EXPECT_EQ("Tramitex", ProgramBaseName("C:\\Programas.v2\\Tramitex"));  // a point in a folder is no extension
  EXPECT_EQ("tramitex.v2", ProgramBaseName("C:tramitex.v2.exe"));
  EXPECT_EQ("", ProgramBaseName(""));
  const std::pair<std::string, std::string> tags[] = {
      {"Tramitex#A#B17 beta", "B17"}, {"Tramitex", ""}, {"Tramitex#", ""}, {"Tramitex# B17", ""}};
  for (const auto& [name, tag] : tags) EXPECT_EQ(tag, BuildTag(name)) << name;
}

// Hands out the chunks one per read (cut to the reader's buffer); nullopt is
// a failed read; after the last chunk, the end of the body.
ReplyReader Scripted(std::vector<std::optional<std::string>>& chunks, int& reads) {
  return [&chunks, &reads](char* buffer, size_t size) -> std::ptrdiff_t {
    ++reads;
    if (chunks.empty()) return 0;
    if (!chunks.front()) return -1;
    const size_t n = std::min(size, chunks.front()->size());
    chunks.front()->copy(buffer, n);
    chunks.front()->erase(0, n);
    if (chunks.front()->empty()) chunks.erase(chunks.begin());
    return n;
  };
}

TEST(FirstNonEmptyLine, Cases) {
  const std::nullopt_t fail = std::nullopt;
  const std::string limit(kReplyReadMax, '\n');
  struct Case { std::vector<std::optional<std::string>> chunks; ReplyLine result; std::string line; } cases[] = {
      {{"\r\n\r\n4.2.5.0\r\n"}, ReplyLine::Found, "4.2.5.0"},  // empty lines first
      {{"4.2.5.0"}, ReplyLine::Found, "4.2.5.0"},                       // a last line needs no end
      {{"4.2.5.0\r"}, ReplyLine::Found, "4.2.5.0"},
      {{" \r\n4"}, ReplyLine::Found, " "},                              // a blank is not empty
      {{"\r", "\n4.", "2\r", "\n"}, ReplyLine::Found, "4.2"},           // line ends across reads
      {{"4.2.5.0\n", fail}, ReplyLine::Found, "4.2.5.0"},               // nothing read after the line
      {{std::string(3000, '7') + "\n"}, ReplyLine::Found, std::string(3000, '7')},
      {{}, ReplyLine::Ended, ""},
      {{"\r\n\n\r\n"}, ReplyLine::Ended, ""},
      {{"\r\n4.2", fail}, ReplyLine::Failed, ""},
      {{limit + "4.2.5.0\n"}, ReplyLine::Ended, ""},                    // blank lines streamed without end
      {{std::string(kReplyReadMax + 1, '7')}, ReplyLine::Ended, ""},
  };
  for (Case& c : cases) {
    const std::string story = c.chunks.empty() ? "(empty body)" : c.chunks[0].value_or("(failure)").substr(0, 20);
    int reads = 0;
    std::string line = "previous";
    EXPECT_EQ(c.result, FirstNonEmptyLine(Scripted(c.chunks, reads), line)) << story;
    EXPECT_EQ(c.line, line) << story;
    EXPECT_LE(reads, static_cast<int>(kReplyReadMax / 1024) + 1) << story << ": reading stops at the limit";
  }
}

}  // namespace
}  // namespace qvx
