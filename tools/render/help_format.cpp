#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "tools/render/help.hpp"

namespace render {
namespace {

constexpr std::size_t width = 79;
constexpr std::size_t text_column = 21;  // where an entry's text starts

// `text` filled into lines of at most `width` columns, each after `indent`;
// the first line starts after `first` instead.
std::string fill(const std::string& text, const std::string& first, const std::string& indent) {
  std::istringstream words(text);
  std::string out = first, line = first, word;
  bool empty = true;
  while (words >> word) {
    if (!empty && line.size() + 1 + word.size() > width) {
      out += "\n" + indent;
      line = indent;
      empty = true;
    }
    const std::string piece = (empty ? "" : " ") + word;
    out += piece;
    line += piece;
    empty = false;
  }
  return out + "\n";
}

// troff: a backslash doubled, a minus sign marked, and a line that would
// start with a control character kept as text.
std::string escaped(const std::string& text) {
  std::string out = text.starts_with(".") || text.starts_with("'") ? "\\&" : "";
  for (char c : text) {
    out += c == '\\' ? std::string("\\e") : c == '-' ? std::string("\\-") : std::string(1, c);
  }
  return out;
}

// Markdown: the characters that would start emphasis, code, a link or HTML
// kept as text.
std::string markdown_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\`*_[]<>").find(c) != std::string::npos) {
      out += '\\';
    }
    out += c;
  }
  return out;
}

std::string upper(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return text;
}

}  // namespace

std::string help_text(const std::vector<HelpSection>& sections) {
  std::string out = "Usage: zul-render [OPTION...] PLUGIN\n";
  for (const HelpSection& section : sections) {
    out += "\n";
    if (!section.title.empty()) {
      out += section.title + ":\n";
    }
    for (const std::string& paragraph : section.paragraphs) {
      out += section.verbatim ? "  " + paragraph + "\n" : fill(paragraph, "", "") + "\n";
    }
    if (!section.paragraphs.empty() && !section.verbatim) {
      out.pop_back();  // no blank line after the last paragraph
    }
    const std::string column(text_column, ' ');
    for (const HelpEntry& entry : section.entries) {
      const std::string term = "  " + entry.term;
      out += term.size() + 1 < text_column
                 ? fill(entry.text, term + std::string(text_column - term.size(), ' '), column)
                 : term + "\n" + fill(entry.text, column, column);
    }
    for (const std::string& paragraph : section.closing) {
      if (!section.entries.empty()) {
        out += '\n';
      }
      out += fill(paragraph, "", "");
    }
  }
  return out;
}

std::string man_page(const std::vector<HelpSection>& sections, const std::string& version) {
  std::string out = ".TH ZUL\\-RENDER 1 \"\" \"zul\\-cv " + escaped(version) +
                    "\" \"User Commands\"\n"
                    ".SH NAME\n"
                    "zul\\-render \\- run an LV2 plugin offline into WAV files and a plot\n"
                    ".SH SYNOPSIS\n"
                    ".B zul\\-render\n"
                    "[\\fIOPTION\\fR...] \\fIPLUGIN\\fR\n";
  for (const HelpSection& section : sections) {
    out += ".SH " + (section.title.empty() ? "DESCRIPTION" : upper(section.title)) + "\n";
    if (section.verbatim) {
      out += ".PP\n.nf\n.RS 4\n";
    }
    for (const std::string& paragraph : section.paragraphs) {
      out += (section.verbatim ? "" : ".PP\n") + escaped(paragraph) + "\n";
    }
    if (section.verbatim) {
      out += ".RE\n.fi\n";
    }
    for (const HelpEntry& entry : section.entries) {
      out += ".TP\n.B " + escaped(entry.term) + "\n" + escaped(entry.text) + "\n";
    }
    for (const std::string& paragraph : section.closing) {
      out += ".PP\n" + escaped(paragraph) + "\n";
    }
  }
  return out;
}

std::string markdown(const std::vector<HelpSection>& sections) {
  std::string out = "Usage: `zul-render [OPTION...] PLUGIN`\n";
  // Appended piece by piece: GCC 12 warns falsely of an overlap (-Wrestrict)
  // in "\n" + text + "\n".
  auto paragraph = [&out](const std::string& text) {
    out += '\n';
    out += markdown_text(text);
    out += '\n';
  };
  for (const HelpSection& section : sections) {
    if (!section.title.empty()) {
      out += "\n### " + section.title + "\n";
    }
    if (section.verbatim) {
      out += "\n```sh\n";
      for (const std::string& line : section.paragraphs) {
        out += line + "\n";
      }
      out += "```\n";
    } else {
      std::for_each(section.paragraphs.begin(), section.paragraphs.end(), paragraph);
    }
    if (!section.entries.empty()) {
      out += "\n";
    }
    for (const HelpEntry& entry : section.entries) {
      out += "- `" + entry.term + "`: " + markdown_text(entry.text) + "\n";
    }
    std::for_each(section.closing.begin(), section.closing.end(), paragraph);
  }
  return out;
}

std::string with_reference(const std::string& page, const std::string& reference) {
  const std::string begin = "<!-- reference -->\n";
  const auto from = page.find(begin);
  const auto to = from == std::string::npos ? from : page.find("<!-- end of reference -->\n", from);
  if (to == std::string::npos) {
    throw std::runtime_error(
        "no lines <!-- reference --> and <!-- end of reference --> to put the reference between");
  }
  std::string out(page, 0, from + begin.size());
  out += reference;
  out.append(page, to);
  return out;
}

}  // namespace render
