#include "common/system_identity.h"

#include <string>

#include <gtest/gtest.h>

#include "common/request_encoding.h"
#include "common/sha256.h"

namespace qvx {
namespace {

std::string Hex(const std::array<uint8_t, 32>& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// FIPS 180-4 examples and the lengths around the padding boundary.
TEST(Sha256, KnownDigests) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.digest, Hex(Sha256(c.message))) << c.message.size() << " bytes";
}

TEST(DeriveMachineIdentifier, StableOneWayAndHex) {
  EXPECT_EQ("8DADAB0EF8652C75220CDD7461D13D19", DeriveMachineIdentifier("{a1b2}"));
  EXPECT_EQ("49AA2386B1AC4DE4A23E32643A3DBEBB", DeriveMachineIdentifier(""));
  // The example of docs/update-protocol.md's reference code.
  EXPECT_EQ("8FAF15C8DDA2A7CC8FD34ACD87B95B48", DeriveMachineIdentifier("guid:2eef4ccb-ed95-40d9-8388-64e9eac578b0"));
  EXPECT_EQ(DeriveMachineIdentifier("PC-1"), DeriveMachineIdentifier("PC-1"));
  EXPECT_NE(DeriveMachineIdentifier("PC-1"), DeriveMachineIdentifier("PC-2"));
  const std::string id = DeriveMachineIdentifier("OFICINA");
  EXPECT_EQ(32u, id.size());
  EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789ABCDEF")) << id;
  EXPECT_EQ(std::string::npos, id.find(ScrambleText("OFICINA"))) << "the scrambled name would give it away";
}

SystemInfoFields Fields() {
  SystemInfoFields f;
  f.programName = "Tramitex";
  f.windowsVersion = 0x1DB10106;
  f.programVersion = "4.2.5.0";
  f.installation = "Red";
  f.extraInformation = "B17";
  f.computerName = "Hola";
  return f;
}

TEST(FormatSystemInfoText, AllFields) {
  EXPECT_EQ("Tramitex-WinVer:1DB10106 -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:19030013",
            FormatSystemInfoText(Fields()));
}

TEST(FormatSystemInfoText, MissingSourcesLeaveEmptyFields) {
  const struct {
    const char* label;
    void (*change)(SystemInfoFields&);
    const char* text;
  } cases[] = {
      {"no installation value", [](SystemInfoFields& f) { f.installation.clear(); },
       "Tramitex-WinVer:1DB10106 -ProgVer:4.2.5.0 -ExtInfo:B17 -IdNM:19030013"},
      {"no program name", [](SystemInfoFields& f) { f.programName.clear(); },
       "-WinVer:1DB10106 -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:19030013"},
      {"no computer name", [](SystemInfoFields& f) { f.computerName.clear(); },
       "Tramitex-WinVer:1DB10106 -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:"},
      {"small Windows version without leading zeros", [](SystemInfoFields& f) { f.windowsVersion = 0xA; },
       "Tramitex-WinVer:A -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:19030013"},
      {"largest Windows version", [](SystemInfoFields& f) { f.windowsVersion = 0xFFFFFFFF; },
       "Tramitex-WinVer:FFFFFFFF -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:19030013"},
      {"nothing at all",
       [](SystemInfoFields& f) { f = SystemInfoFields(); },
       "-WinVer:0 -ProgVer: -ExtInfo: -IdNM:"},
      {"line breaks cannot end the header",
       [](SystemInfoFields& f) {
         f.programName = "App\r\nX-Evil: 1";
         f.installation = "R\ned";
         f.extraInformation = "\t\x7F";
       },
       "App  X-Evil: 1-WinVer:1DB10106 -ProgVer:4.2.5.0XR ed -ExtInfo:   -IdNM:19030013"},
      {"characters outside ASCII stay",
       [](SystemInfoFields& f) { f.programName = "Gesti\xF3n"; },
       "Gesti\xF3n-WinVer:1DB10106 -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:19030013"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SystemInfoFields f = Fields();
    c.change(f);
    const std::string text = FormatSystemInfoText(f);
    EXPECT_EQ(c.text, text);
    EXPECT_NE(' ', text.back()) << "never ends with a blank";
  }
}

}  // namespace
}  // namespace qvx
