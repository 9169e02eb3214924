// SPDX-License-Identifier: GPL-3.0-or-later
// The byte layout of signatures: a four-byte tag naming the chunking parameters, then per
// chunk its length (unsigned LEB128) and the first bytes of its SHA-256.
#pragma once

#include "molt/difflib.h"

namespace Molt::DIFFLIB {

void AppendHeader(Bytes& out);
void AppendChunk(Bytes& out, const Chunk& chunk);

}  // namespace Molt::DIFFLIB
