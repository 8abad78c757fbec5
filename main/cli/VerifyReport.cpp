// verify's words for what it found: one line per file (with what its own checksum says of a file that
// differs), the stable codes of the JSON document and the verdict on the card as a whole.
#include <array>

#include "common/Errors.h"
#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"

namespace scaleboot::cli {
namespace {

using PathKind = platform::PathInfo::Kind;

}  // namespace

std::string_view FindingCode(const FileFinding& finding, const platform::PathInfo& path) {
  using Kind = FileFinding::Kind;
  switch (finding.kind) {
    case Kind::Identical:
      return "identical";
    case Kind::Differs:
      return "differs";
    case Kind::Shorter:
      return "shorter";
    case Kind::Longer:
      return "longer";
    case Kind::Missing:
      return "missing";
    case Kind::Unreadable:
      if (path.kind == PathKind::SymbolicLink) return "symbolic-link";
      if (path.kind == PathKind::Folder || path.kind == PathKind::Other) return "not-regular-file";
      return "unreadable";
  }
  return "unreadable";
}

namespace {

// What a file that differs holds by its own checksum, as the end of its line; nothing where it was not read.
std::string ChecksumSuffix(LanguageIndex language, const FileFinding& finding,
                           const std::optional<OwnChecksum>& checksum) {
  if (!checksum || finding.kind == FileFinding::Kind::Identical) return "";
  if (checksum->errorCode != 0) {
    return Filled(Text(language, CliText::ChecksumUnreadable),
                  {ErrorBoxText(IoError::TextFor(checksum->errorCode))});
  }
  return std::string(
      Text(language, checksum->intact ? CliText::FileIntactOtherVersion : CliText::FileDamaged));
}

std::string DescribeFindingAlone(LanguageIndex language, const FirmwareImage& image,
                                 const FileFinding& finding, const platform::PathInfo& path) {
  using Kind = FileFinding::Kind;
  const std::string_view name = image.fileName;
  // A file that ends early or goes on past its image may differ within the image's length as well.
  const std::string alsoDiffers =
      finding.differingBytes == 0
          ? ""
          : Filled(Text(language, CliText::AlsoDiffers),
                   {std::to_string(finding.firstDifference), std::to_string(finding.differingBytes)});
  const std::string_view code = FindingCode(finding, path);
  switch (finding.kind) {
    case Kind::Identical:
      return Filled(Text(language, CliText::FileIdentical), {name});
    case Kind::Differs:
      return Filled(Text(language, CliText::FileDiffers),
                    {name, std::to_string(finding.firstDifference), std::to_string(finding.differingBytes)});
    case Kind::Shorter:
      return Filled(Text(language, CliText::FileShorter),
                    {name, std::to_string(finding.bytesRead), std::to_string(image.length)}) +
             alsoDiffers;
    case Kind::Longer:
      if (path.kind == PathKind::RegularFile && path.size > image.length) {
        return Filled(Text(language, CliText::FileLongerBy),
                      {name, std::to_string(path.size), std::to_string(image.length)}) +
               alsoDiffers;
      }
      return Filled(Text(language, CliText::FileLonger), {name, std::to_string(image.length)}) + alsoDiffers;
    case Kind::Missing:
      return Filled(Text(language, CliText::FileMissing), {name});
    case Kind::Unreadable:
      if (code == "symbolic-link") return Filled(Text(language, CliText::FileSymbolicLink), {name});
      if (code == "not-regular-file") return Filled(Text(language, CliText::FileNotRegular), {name});
      return Filled(Text(language, CliText::FileUnreadable),
                    {name, ErrorBoxText(IoError::TextFor(finding.errorCode))});
  }
  return std::string(name);
}

}  // namespace

std::string DescribeFinding(LanguageIndex language, const FirmwareImage& image, const FileFinding& finding,
                            const platform::PathInfo& path, const std::optional<OwnChecksum>& checksum) {
  return DescribeFindingAlone(language, image, finding, path) + ChecksumSuffix(language, finding, checksum);
}

// The stable code and the text of each verdict, in the order of CardVerdict.
constexpr std::array<std::string_view, 4> kVerdictCodes{"this-module", "other-version", "damaged",
                                                        "no-module"};
constexpr std::array<CliText, 4> kVerdictTexts{CliText::VerdictThisModule, CliText::VerdictOtherVersion,
                                               CliText::VerdictDamaged, CliText::VerdictNoModule};

std::string_view VerdictCode(CardVerdict verdict) {
  return kVerdictCodes[static_cast<std::size_t>(verdict)];
}

std::string_view VerdictText(LanguageIndex language, CardVerdict verdict) {
  return Text(language, kVerdictTexts[static_cast<std::size_t>(verdict)]);
}

}  // namespace scaleboot::cli
