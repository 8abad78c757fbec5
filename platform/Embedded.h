// Files compiled into the program as read-only byte arrays (see cmake/Embed.cmake).
#pragma once
#include <cstddef>
#include <span>
#include <string_view>

namespace scaleboot {

struct EmbeddedFile {
  std::string_view name;
  const unsigned char* begin;
  const unsigned char* end;

  std::span<const unsigned char> bytes() const { return {begin, static_cast<std::size_t>(end - begin)}; }
};

// The four firmware images, in table order, keyed by their file names.
std::span<const EmbeddedFile> EmbeddedFirmware();
// The SHA-256 of each firmware image in lower-case hexadecimal, in table order, computed by the build.
std::span<const std::string_view> EmbeddedFirmwareSha256();

}  // namespace scaleboot

namespace scaleboot {
// The help documents (PDF), keyed by resource name, on builds that have no resources of their own.
std::span<const EmbeddedFile> EmbeddedDocuments();
}  // namespace scaleboot
