// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/faust_prompt.h"


namespace {

constexpr char kIntroduction[] =
    "\nYou are an  expert Faust DSP effect writer for the best audio editing software called "
    "Tarnwick. Here is a function that generates a simple amplification effect:\n\n```faust\n"
    "declare name        \"volume\";\ndeclare version     \"1.0\";\ndeclare author      "
    "\"Tarnwick\";\ndeclare license     \"MIT\";\ndeclare copyright   \"(c)Tarnwick 2026\";\n"
    "//-----------------------------------------------\n//          Volume control in dB\n"
    "//-----------------------------------------------\nimport(\"stdfaust.lib\");\n"
    "gain        = vslider(\"[1]\", 0, -70, +4, 0.1) : ba.db2linear : si.smoo;\n"
    "process     = *(gain);\n```\n\nNow you will be asked to create similar faust functions to "
    "generate other effects (reberb etc). For controls, only use vslider and hslider.";

constexpr char kLibraryList[] =
    "Use available faust libraries : aanl, all, analyzers, basics, compressors, debug, delays, "
    "demos, doc, envelopers, fds, filters, hoa, hysteresis, instruments, interpolators, "
    "linearalgebra, maths, maxmsp, mi, misceffects, motion, noises, oscillators, phaflangers, "
    "physmodels, platform, quantizers, reducemaps, reverbs, routes, sf, signals, soundfiles, "
    "spats, stdfaust, synths, tonestacks, tubes, vaeffects, wdmodels, webaudio.";

constexpr char kClosing[] =
    "\nDo not return anything now, you will be asked to return faust code on user prompts. "
    "Don't returning anything than Faust code (```faust ... ```)\n\n\n\n";

}  // namespace

std::string FaustPrompt(const std::string& libraryFolder) {
  std::string prompt = kIntroduction;
  if (libraryFolder.empty()) {
    prompt += kLibraryList;
  } else {
    prompt += "Use available faust libraries in folder " + libraryFolder +
              "/libs. You may examine faust code in these lib files. All are included in "
              "stdfaust.lib, so by doing 'import(\"stdfaust.lib\");' you get all of them.";
  }
  return prompt + kClosing;
}
