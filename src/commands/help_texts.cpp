#include "commands/help_texts.h"

#include "commands/model_guide.h"

namespace lozengia {

const char* const kHelpText =
    "Use the menu \"Commands\" to generate and draw random tilings\n"
    "\"Show tiling\" draws current tiling\n"
    "\"New hexagon\" initializes new probability model\n"
    "\"S->S+-1 steps\" applies the corresponding Markov operator\n"
    "\"Interactive mode\" starts step-by-step mode, where you can use different operators\n"
    "\"Live\" starts the sequence of operators (real-time show)\n"
    "\"Export..\" saves the plane partition in simple text format\n"
    "\"Save..\" saves the bitmap image\n"
    "\n"
    "The sample sequence of commands is:\n"
    "\"New hexagon\" (set \"Hahn(uniform measure)\", N=50, T=100, S=0)\n"
    "\"S->S+1 steps\" (number of steps=50, number of samples=1)\n"
    "\"Show tiling\"";

std::string about_text() {
  return std::string("Lozengia (LZA), version ") + LOZENGIA_VERSION +
         "\n"
         "Last update: December 2026\n"
         "\n"
         "Generates and draws random lozenge tilings of hexagons (3d Young diagrams, "
         "boxed plane partitions) under various probability models.\n"
         "The algorithm and the models are described in published papers:\n" +
         kModelsPaper +
         ".\n"
         "\n"
         "Help, Models (F1) describes each model and its parameters.\n"
         "\n"
         "Contact: questions and reports go to the maintainers of this program.";
}

}  // namespace lozengia
