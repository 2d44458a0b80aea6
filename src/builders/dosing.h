#pragma once
// The dosing command and its copy "lastdose.txt".
#include "frame/types.h"

#include <vector>

namespace qelp {

class Program;

// Writes the dosing command for the recipe, its colorant lines and the program's dosing
// options to serverCommandDirectory + "cmd.dat", then replaces "lastdose.txt" beside it
// with a copy and logs "Dosing command created". Fills recipe.canType when it is empty and
// a can line is written. False (with a log line) when either file could not be written;
// the dosing must then not be sent.
bool CreateDosingCommand(Program& program, DosingRecipe& recipe,
                         const std::vector<RecipeColorant>& colorants);

} // namespace qelp
