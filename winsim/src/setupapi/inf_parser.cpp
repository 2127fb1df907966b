// The INF reader's pure part.  An INF line is "key = field, field ..." or
// just "field, field ..."; a semicolon outside quotes starts a comment, a
// backslash at the end continues the line on the next one, double quotes
// keep commas, semicolons and blanks in a field ("" is a quote within
// quotes), and %strkey% takes its text from [Strings] when the whole file
// has been read.
#include "setupapi/inf_parser.h"

#include <map>

#include <setupapi.h>

#include "core/internal.h"

namespace winsim::inf {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == 0x1A; }

// The characters of one logical line and, for each, whether it came from
// inside quotes (quotes themselves are gone).
struct Token {
  std::u16string text;
  std::vector<bool> quoted;
  void add(char16_t c, bool q) {
    text.push_back(c);
    quoted.push_back(q);
  }
  // Blanks at either end that were not quoted go.
  std::u16string trimmed() const {
    size_t b = 0, e = text.size();
    while (b < e && !quoted[b] && isBlank(text[b])) ++b;
    while (e > b && !quoted[e - 1] && isBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
  }
};

// Splits the text into physical lines.
std::vector<std::u16string> physicalLines(const std::u16string &text) {
  std::vector<std::u16string> lines;
  std::u16string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// A physical line without its comment; `continued` when it ends in a
// backslash outside quotes (which goes too).
std::u16string withoutComment(const std::u16string &line, bool &continued) {
  bool inQuotes = false;
  size_t end = line.size();
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'"') inQuotes = !inQuotes;
    if (line[i] == u';' && !inQuotes) {
      end = i;
      break;
    }
  }
  std::u16string s = line.substr(0, end);
  while (!s.empty() && isBlank(s.back())) s.pop_back();
  continued = !inQuotes && !s.empty() && s.back() == u'\\';
  if (continued) s.pop_back();
  return s;
}

std::u16string trimBlanks(const std::u16string &s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Splits a logical line into its key and fields.
InfLine splitLine(const std::u16string &text, unsigned lineNumber) {
  InfLine line;
  line.lineNumber = lineNumber;
  std::vector<Token> tokens(1);
  bool inQuotes = false, sawComma = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"') {
      if (inQuotes && i + 1 < text.size() && text[i + 1] == u'"') {
        tokens.back().add(u'"', true);
        ++i;
      } else {
        inQuotes = !inQuotes;
      }
    } else if (!inQuotes && c == u'=' && !line.hasKey && !sawComma) {
      line.hasKey = true;
      line.key = tokens.back().trimmed();
      tokens.assign(1, Token());
    } else if (!inQuotes && c == u',') {
      sawComma = true;
      tokens.emplace_back();
    } else {
      tokens.back().add(c, inQuotes);
    }
  }
  // "key =" with nothing after it has no field.
  if (line.hasKey && tokens.size() == 1 && tokens[0].text.empty()) return line;
  for (const Token &t : tokens) line.fields.push_back(t.trimmed());
  return line;
}

// Replaces %strkey% with its text; "%%" is a percent sign; an unknown key
// stays as it is.
std::u16string substitute(const std::u16string &s, const std::map<std::u16string, std::u16string> &strings) {
  if (s.find(u'%') == std::u16string::npos) return s;
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    size_t open = s.find(u'%', i);
    if (open == std::u16string::npos) break;
    size_t close = s.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    out += s.substr(i, open - i);
    std::u16string name = s.substr(open + 1, close - open - 1);
    if (name.empty()) {
      out += u'%';
    } else {
      auto it = strings.find(upper(name));
      out += it != strings.end() ? it->second : s.substr(open, close - open + 1);
    }
    i = close + 1;
  }
  out += s.substr(i);
  return out;
}

void substituteStrings(InfText &inf) {
  std::map<std::u16string, std::u16string> strings;
  if (const InfSection *s = inf.section(u"Strings"))
    for (const InfLine &l : s->lines)
      if (l.hasKey) strings.emplace(upper(l.key), l.fields.empty() ? std::u16string() : l.fields[0]);
  for (InfSection &section : inf.sections) {
    if (equalsNoCase(section.name, u"Strings")) continue;
    for (InfLine &l : section.lines) {
      l.key = substitute(l.key, strings);
      for (auto &f : l.fields) f = substitute(f, strings);
    }
  }
}

InfText failed(DWORD error, unsigned line) {
  InfText r;
  r.error = error;
  r.errorLine = line;
  return r;
}

}  // namespace

std::u16string decode(const std::vector<uint8_t> &bytes) {
  std::u16string out;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) out.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    return out;
  }
  size_t start = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  // UTF-8 when every sequence is well formed.
  bool utf8 = true;
  for (size_t i = start; i < bytes.size();) {
    uint32_t cp = 0;
    const size_t length = decodeUtf8(bytes.data() + i, bytes.size() - i, cp);
    if (length == 0) {
      utf8 = false;
      break;
    }
    appendUtf16(out, cp);
    i += length;
  }
  if (utf8) return out;
  out.clear();
  for (size_t i = start; i < bytes.size(); ++i) out.push_back(char16_t(bytes[i]));
  return out;
}

InfText parse(const std::u16string &text) {
  InfText inf;
  std::vector<std::u16string> lines = physicalLines(text);
  InfSection *current = nullptr;
  for (size_t i = 0; i < lines.size(); ++i) {
    unsigned number = unsigned(i + 1);
    bool continued = false;
    std::u16string logical = withoutComment(lines[i], continued);
    while (continued && i + 1 < lines.size()) logical += withoutComment(lines[++i], continued);
    logical = trimBlanks(logical);
    if (logical.empty()) continue;
    if (logical[0] == u'[') {
      size_t close = logical.find(u']');
      if (close == std::u16string::npos) return failed(ERROR_BAD_SECTION_NAME_LINE, number);
      std::u16string name = trimBlanks(logical.substr(1, close - 1));
      if (name.size() > kMaxSectionName) return failed(ERROR_SECTION_NAME_TOO_LONG, number);
      current = nullptr;
      for (InfSection &s : inf.sections)
        if (equalsNoCase(s.name, name)) current = &s;
      if (!current) {
        inf.sections.push_back({name, {}});
        current = &inf.sections.back();
      }
      continue;
    }
    if (!current) return failed(ERROR_EXPECTED_SECTION_NAME, number);
    current->lines.push_back(splitLine(logical, number));
  }
  substituteStrings(inf);
  inf.ok = true;
  return inf;
}

const InfLine *findLine(const InfSection &section, const std::u16string &key) {
  for (const InfLine &l : section.lines)
    if (l.hasKey && equalsNoCase(l.key, key)) return &l;
  return nullptr;
}

std::u16string versionValue(const InfText &inf, const std::u16string &key) {
  const InfSection *version = inf.section(u"Version");
  const InfLine *line = version ? findLine(*version, key) : nullptr;
  return line && !line->fields.empty() ? line->fields[0] : std::u16string();
}

bool isWin4Style(const InfText &inf) {
  std::u16string signature = versionValue(inf, u"Signature");
  return equalsNoCase(signature, u"$Windows NT$") || equalsNoCase(signature, u"$Chicago$") ||
         equalsNoCase(signature, u"$Windows 95$");
}

std::u16string lineText(const InfLine &line) {
  std::u16string text;
  for (size_t i = 0; i < line.fields.size(); ++i) {
    if (i) text += u',';
    text += line.fields[i];
  }
  return text;
}

std::vector<std::u16string> modelSections(const InfText &inf, const std::u16string &architecture) {
  std::vector<std::u16string> out;
  const InfSection *manufacturer = inf.section(u"Manufacturer");
  if (!manufacturer) return out;
  for (const InfLine &l : manufacturer->lines) {
    if (l.fields.empty() || l.fields[0].empty()) continue;
    // "NTamd64", "NTamd64.6.0", "NT": the part after "NT" up to a dot is
    // the architecture, none fits every one.  One naming the architecture
    // wins over a bare "NT".
    std::u16string chosen, bare;
    for (size_t k = 1; k < l.fields.size(); ++k) {
      const std::u16string &d = l.fields[k];
      if (d.size() < 2 || !equalsNoCase(d.substr(0, 2), u"NT")) continue;
      size_t dot = d.find(u'.');
      std::u16string arch = dot == std::u16string::npos ? d.substr(2) : d.substr(2, dot - 2);
      if (arch.empty() && bare.empty()) bare = d;
      if (!arch.empty() && equalsNoCase(arch, architecture) && chosen.empty()) chosen = d;
    }
    if (chosen.empty()) chosen = bare;
    out.push_back(chosen.empty() ? l.fields[0] : l.fields[0] + u"." + chosen);
  }
  return out;
}

std::vector<std::u16string> modelIds(const InfText &inf, const std::u16string &architecture) {
  std::vector<std::u16string> ids;
  for (const std::u16string &name : modelSections(inf, architecture))
    if (const InfSection *models = inf.section(name))
      for (const InfLine &l : models->lines)
        for (size_t k = 1; k < l.fields.size(); ++k)
          if (!l.fields[k].empty()) ids.push_back(l.fields[k]);
  return ids;
}

}  // namespace winsim::inf

namespace winsim {

const InfSection *InfText::section(const std::u16string &name) const {
  for (const InfSection &s : sections)
    if (equalsNoCase(s.name, name)) return &s;
  return nullptr;
}

}  // namespace winsim
