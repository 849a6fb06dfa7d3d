#pragma once

#include <chrono>
#include <optional>
#include <string>

// Prints a self-contained HTML page to PDF (A4 unless the page's @page says otherwise, backgrounds
// kept, "page N of M" at the foot) in Debian's headless Chromium, driven over the same DevTools
// pipe as the editor's web view. The page is handed over as text and the network is cut, so
// nothing is fetched. Returns the PDF's bytes, or nothing with `whyNot` saying why (no browser,
// it would not start, it did not answer within `timeout`). `browser` empty: Debian's chromium.
// The PDF carries no creation date, so the same page gives the same bytes.
std::optional<std::string> PrintHtmlToPdf(const std::string& html, std::string& whyNot,
                                          const std::string& browser = {},
                                          std::chrono::seconds timeout = std::chrono::seconds(90));
