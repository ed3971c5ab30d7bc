// The module's own encodings for texts exchanged with the update server. They
// hide customer data from a casual look (they are not encryption) and keep
// every byte safe in a URL query and in an HTTP header: the output is made of
// upper-case hexadecimal digits only. The update server links this same code;
// docs/update-protocol.md describes the formats for anyone writing another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qvx {

// The result of DecodeServerText for input that is not in scrambled form.
extern const char kDecodeErrorText[];  // "Error Descodificación"

// Two upper-case hexadecimal digits per character; "" for "".
std::string ScrambleText(const std::string& text);

// The text that ScrambleText scrambled; empty when hex is not in that form:
// an odd length, a character other than 0-9 and A-F, or a scrambled NUL.
std::optional<std::string> UnscrambleText(const std::string& hex);

// The check code carried by request tokens: CRC-32 (as zlib computes it) of
// the plain text's bytes.
uint32_t RequestCheckCode(const std::string& text);

// One token for a request: ScrambleText(fields) followed by the check code
// as eight upper-case hexadecimal digits. Fields are separated by the caller
// (character 7 or "!"); the token does not look inside.
std::string EncodeRequestText(const std::string& fields);

// The server's side of EncodeRequestText: the fields, or empty when the token
// is malformed or its check code does not match.
std::optional<std::string> DecodeRequestText(const std::string& token);

// A text that the server (or the module itself, for the stored customer key)
// scrambled with ScrambleText; kDecodeErrorText when it is not in that form.
std::string DecodeServerText(const std::string& text);

}  // namespace qvx
