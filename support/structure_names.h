// Structure names as the GDSII -> PG engine keeps them and hands them on, which the shell
// needs to know to find the files the engine's post-processor names after the top.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavrinth {

// GDSQUALIFY: replaces every character of name[0..length) that is not a letter, a digit,
// '$', '_' or NUL by '_', so that structure names can be used as they stand, in the PG
// data and in the file names made from the top structure.
void QualifyStructureName(char* name, size_t length);

// Whether the engine qualifies structure names (GDSQUALIFY) when its settings file does
// not say.
inline constexpr bool kEngineQualifiesNamesByDefault = true;

// A structure name as the engine keeps it and hands it on, the top structure's to the
// post-processor: qualified when GDSQUALIFY is on (`qualify`), else as given. The shell
// derives the names of the engine's files from the top structure through it too.
std::string EngineStructureName(std::string_view name, bool qualify);

}  // namespace kavrinth
