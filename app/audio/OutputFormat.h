#pragma once

#include <optional>
#include <string>

// What a written audio file is: its container and word length, and the libsndfile format and
// plug-in dither that go with them. Shared by `zarn render` (container from the output's
// extension) and `zarn master` (container from --format).
enum class Container { kWav, kFlac, kAiff };
enum class WordLength { k16, k24, kFloat };

// ".wav", ".flac", ".aiff" or ".aif", in any case; nothing for any other extension.
std::optional<Container> ContainerOfPath(const std::string& path);
// As ContainerOfPath; throws UserError naming the file and the accepted extensions.
Container ContainerForOutput(const std::string& path);
// "wav", "flac" or "aiff"; nothing for any other name.
std::optional<Container> ContainerNamed(const std::string& name);
const char* ContainerName(Container container);  // "wav", "flac", "aiff"
const char* AcceptedExtensions();                // for messages and usage

// "16", "24" or "float"; throws UserError naming `option` for anything else.
WordLength ParseWordLength(const std::string& option, const std::string& text);
const char* WordLengthName(WordLength bits);     // "16", "24", "float"

// The word length that keeps a file of libsndfile format `format` as it is: 16 for 16-bit and
// narrower integers and the 8-bit companded codes, 24 for 24-bit, float for everything else
// (32-bit integer, float, double, lossy codecs), which no 16 or 24-bit file would hold exactly.
WordLength WordLengthOf(int format);
bool CanHold(Container container, WordLength bits);  // FLAC holds no float

// libsndfile's SF_FORMAT_* major | subtype.
int SndfileFormat(Container container, WordLength bits);

// The sample format of libsndfile format `format` for people: "16-bit", "24-bit", "float",
// "double", "8-bit", "32-bit", "u-law", "A-law" or "encoded".
std::string SampleFormatName(int format);
// Bits of an integer sample format (8 for the companded ones), 0 for float and everything else.
int IntegerBits(int format);

// The plug-in's Dither value for a word length: 1 (16-bit), 2 (24-bit), 0 (Off, for float).
int DitherFor(WordLength bits);
