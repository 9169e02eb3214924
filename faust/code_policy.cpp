// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/code_policy.h"

#include <cctype>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace faust {

namespace {

struct Token {
  enum Kind { kName, kString, kSymbol } kind;
  std::string text;
};

bool NameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool NamePart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Faust's lexical shape as far as the rules need it: comments dropped, strings whole.
std::vector<Token> Tokens(const std::string& code) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < code.size();) {
    const char c = code[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (code.compare(i, 2, "//") == 0) {
      i = code.find('\n', i);
      if (i == std::string::npos) break;
    } else if (code.compare(i, 2, "/*") == 0) {
      i = code.find("*/", i + 2);
      if (i == std::string::npos) break;
      i += 2;
    } else if (c == '"') {
      size_t end = code.find('"', i + 1);
      if (end == std::string::npos) end = code.size();
      tokens.push_back({Token::kString, code.substr(i + 1, end - i - 1)});
      i = end + 1;
    } else if (NameStart(c)) {
      size_t end = i;
      while (end < code.size() && NamePart(code[end])) ++end;
      tokens.push_back({Token::kName, code.substr(i, end - i)});
      i = end;
    } else {
      tokens.push_back({Token::kSymbol, std::string(1, c)});
      ++i;
    }
  }
  return tokens;
}

bool Is(const std::vector<Token>& t, size_t k, Token::Kind kind, const char* text = nullptr) {
  return k < t.size() && t[k].kind == kind && (!text || t[k].text == text);
}

// The C names a foreign declaration starting at the keyword `k` gives: for a function, every
// alternative before its argument list ("float tanhf|tanh|tanhl|tanhfx (float)"); for a
// variable or constant, the name after its type. False when the declaration has no such shape.
bool ForeignNames(const std::vector<Token>& t, size_t k, std::vector<std::string>* names) {
  if (!Is(t, k + 1, Token::kSymbol, "(") || !Is(t, k + 2, Token::kName)) return false;
  const bool function = t[k].text == "ffunction";
  size_t at = k + 3;
  for (bool expectName = true;; expectName = !expectName) {
    if (expectName) {
      if (!Is(t, at, Token::kName)) return false;
      names->push_back(t[at++].text);
      if (!function) return Is(t, at, Token::kSymbol, ",");
    } else if (Is(t, at, Token::kSymbol, "|")) {
      ++at;
    } else {
      return Is(t, at, Token::kSymbol, "(");
    }
  }
}

bool ForeignKeyword(const Token& token) {
  return token.kind == Token::kName &&
         (token.text == "ffunction" || token.text == "fvariable" || token.text == "fconstant");
}

bool FileKeyword(const Token& token) {
  return token.kind == Token::kName &&
         (token.text == "import" || token.text == "library" || token.text == "component");
}

// Why `name` may not be opened, or empty when it names a file of the library folder.
std::string FileRule(const std::string& name, const fs::path& folder) {
  const std::string rule =
      " is not allowed: imports, libraries and components must name a file of the Faust "
      "library folder, with no absolute path, '..' or URL";
  if (name.empty() || name.front() == '/' || name.find(':') != std::string::npos) return rule;
  const fs::path path = fs::path(name).lexically_normal();
  for (const auto& part : path) {
    if (part == "..") return rule;
  }
  std::error_code error;
  if (folder.empty() || !fs::is_regular_file(folder / path, error)) return rule;
  return {};
}

}  // namespace

std::set<std::string> ForeignNamesOfLibraries(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() != ".lib") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const std::vector<Token> tokens = Tokens(text.str());
    for (size_t k = 0; k < tokens.size(); ++k) {
      std::vector<std::string> found;
      if (ForeignKeyword(tokens[k]) && ForeignNames(tokens, k, &found)) names.insert(found.begin(), found.end());
    }
  }
  return names;
}

const CodePolicy& PolicyFor(const fs::path& folder) {
  static std::mutex lock;
  static std::map<fs::path, CodePolicy> policies;
  std::lock_guard guard(lock);
  auto found = policies.find(folder);
  if (found != policies.end()) return found->second;
  CodePolicy& policy = policies[folder];
  policy.libraryFolder = folder;
  policy.foreignNames = ForeignNamesOfLibraries(folder);
  return policy;
}

std::string CheckModelCode(const std::string& code, const CodePolicy& policy) {
  const std::vector<Token> t = Tokens(code);
  for (size_t k = 0; k < t.size(); ++k) {
    if (ForeignKeyword(t[k])) {
      std::vector<std::string> names;
      const std::string rule =
          " is not allowed: foreign functions, variables and constants may name only what the "
          "Faust libraries declare (their maths, the sample rate and the block size)";
      if (!ForeignNames(t, k, &names)) return "this " + t[k].text + rule;
      for (const auto& name : names) {
        if (!policy.foreignNames.contains(name)) return t[k].text + " '" + name + "'" + rule;
      }
    } else if (FileKeyword(t[k])) {
      if (!Is(t, k + 1, Token::kSymbol, "(") || !Is(t, k + 2, Token::kString)) {
        return t[k].text + " without a quoted file name is not allowed";
      }
      std::string why = FileRule(t[k + 2].text, policy.libraryFolder);
      if (!why.empty()) return t[k].text + "(\"" + t[k + 2].text + "\")" + why;
    } else if (t[k].kind == Token::kName && t[k].text == "soundfile") {
      return "soundfile is not allowed: effects may not read sound files";
    }
  }
  return {};
}

}  // namespace faust
