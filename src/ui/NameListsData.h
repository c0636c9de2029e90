// The three rating name lists as compiled into the program, generated from
// src/ui/rating/{red,blue,green}.txt by cmake/EmbedNameLists.cmake. Each name
// keeps its exact bytes (UTF-8), in file order, duplicates included.
#pragma once

#include <span>
#include <string_view>

namespace vantorell::ui {

std::span<const std::string_view> RedListNames();    // red.txt: useless or dangerous
std::span<const std::string_view> BlueListNames();   // blue.txt: not needed
std::span<const std::string_view> GreenListNames();  // green.txt: good, leave it on

}  // namespace vantorell::ui
