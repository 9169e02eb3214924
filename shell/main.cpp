// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/tessary_main.h"

int main(int argc, char** argv) { return RunTessary(argc, argv); }
