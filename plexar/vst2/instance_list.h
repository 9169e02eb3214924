// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide list of loaded VST 2 objects, through which the one host callback finds
// the object of the plug-in that calls it.
#pragma once

#include <vector>

#include "common/read_write_lock.h"

namespace plexar {

class VST2;

struct Vst2InstanceList {
  common::ReadWriteLock lock;
  std::vector<VST2*> objects;
};

/// Never destroyed, so that an object released during exit still finds it.
Vst2InstanceList& instanceList();

void AddInstance(VST2* object);
/// Removes every entry of `object`; after this its plug-in's requests find no object.
void RemoveInstance(VST2* object);

}  // namespace plexar
