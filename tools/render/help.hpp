// The one source of what zul-render says about itself: --help formats it for
// a terminal, zul-render-man as the manual page zul-render.1 and as the
// reference in docs/zul-render.md, so that they cannot say different things.
#pragma once

#include <string>
#include <vector>

namespace render {

struct HelpEntry {
  std::string term;  // "--rate HZ", "sine"
  std::string text;
};

struct HelpSection {
  std::string title;  // empty for the description that opens the page
  std::vector<std::string> paragraphs;
  std::vector<HelpEntry> entries;
  std::vector<std::string> closing;  // paragraphs after the entries
  bool verbatim = false;             // lines shown as they are (an example)
};

// `lv2_path` is the default LV2 path as shown.
std::vector<HelpSection> help_sections(const std::string& lv2_path);

// For a terminal: paragraphs filled to 79 columns, entries in two columns.
std::string help_text(const std::vector<HelpSection>& sections);

// The manual page, in troff's man macros.
std::string man_page(const std::vector<HelpSection>& sections, const std::string& version);

// The same in Markdown, for the reference in docs/zul-render.md.
std::string markdown(const std::vector<HelpSection>& sections);

// `page` with the lines between the markers "<!-- reference -->" and
// "<!-- end of reference -->" replaced by `reference`; throws
// std::runtime_error when either marker is missing.
std::string with_reference(const std::string& page, const std::string& reference);

}  // namespace render
