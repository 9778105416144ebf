#include "runtime/argument_splitter.h"

#include <algorithm>
#include <map>

namespace Kyrowan {

namespace {

using Placeholders = std::map<std::wstring, std::wstring>;

// Replaces each quoted section, quotes included, by its content framed by
// spaces with every space turned into a bar, so that splitting at spaces
// cannot cut it. Pairs are taken in order; an unpaired quote stays as it is.
// A placeholder is as long as its section and holds no quote, so the search
// goes on after it: searching from the start each time was quadratic.
Placeholders HideQuotedSections(std::wstring& text) {
  Placeholders placeholders;
  for (std::size_t from = 0;;) {
    const std::size_t open = text.find(L'"', from);
    if (open == std::wstring::npos) break;
    const std::size_t close = text.find(L'"', open + 1);
    if (close == std::wstring::npos) break;
    std::wstring content = text.substr(open + 1, close - open - 1);
    std::wstring placeholder = L" " + content + L" ";
    std::replace(placeholder.begin(), placeholder.end(), L' ', L'|');
    text.replace(open, placeholder.size(), placeholder);
    from = open + placeholder.size();
    placeholders[placeholder] = std::move(content);
  }
  return placeholders;
}

void SplitAtSpaces(const std::wstring& text, std::vector<std::wstring>& pieces) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t space = text.find(L' ', start);
    if (space == std::wstring::npos) space = text.size();
    if (space > start) pieces.push_back(text.substr(start, space - start));
    start = space + 1;
  }
}

// Puts a quoted text back: either the piece is one placeholder, or the span
// from its first to its last bar is. Nothing else is tried.
void RestorePiece(const Placeholders& placeholders, std::wstring& piece) {
  const std::size_t first = piece.find(L'|');
  const std::size_t last = piece.rfind(L'|');
  if (first == std::wstring::npos || first >= last) return;
  if (const auto whole = placeholders.find(piece); whole != placeholders.end()) {
    piece = whole->second;
    return;
  }
  const std::size_t spanLength = last - first + 1;
  if (const auto span = placeholders.find(piece.substr(first, spanLength)); span != placeholders.end()) {
    piece.replace(first, spanLength, span->second);
  }
}

}  // namespace

bool SplitArguments(const std::wstring& text, std::vector<std::wstring>& arguments) {
  if (text.empty()) return false;
  arguments.clear();
  std::wstring working = text;
  const Placeholders placeholders = HideQuotedSections(working);
  SplitAtSpaces(working, arguments);
  if (!placeholders.empty()) {
    for (std::wstring& piece : arguments) RestorePiece(placeholders, piece);
  }
  return !arguments.empty();
}

}  // namespace Kyrowan
