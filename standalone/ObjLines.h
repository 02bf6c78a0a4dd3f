// Lines and tokens of OBJ text, for code that copies an OBJ file line by line (the coloured
// copy): lines end at "\n", "\r\n" or a lone "\r", tokens are separated by blanks.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// The next line of OBJ text from `pos`, cut at a NUL byte. `pos` moves past the line's end;
// `contentEnd` (when given) receives the index where the line's own text ends, before its
// terminator.
bool NextObjLine(std::string_view text, size_t& pos, std::string_view& line, size_t* contentEnd = nullptr);

// The blank-separated tokens of a piece of a line.
std::vector<std::string_view> ObjTokens(std::string_view s);
