// The one-line text of a started program and its arguments, as the scheduler shows it in its trace.
#pragma once

#include <string>
#include <vector>

// Joins the program (element 0) and its arguments with single spaces. An element holding a space or a
// double quote has every double quote doubled and is enclosed in double quotes; an empty argument
// adds only its separating space; anything else is taken unchanged. Children get their argument
// vector directly, so this text is for people to read, never for a shell to split.
std::wstring CommandLineText(const std::vector<std::wstring>& arguments);
