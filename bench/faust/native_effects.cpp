// SPDX-License-Identifier: GPL-3.0-or-later
#include "native_effects.h"

#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>
#include <faust/gui/meta.h>

#include "djembe_native.h"
#include "filterbank_native.h"
#include "zita_native.h"

std::unique_ptr<dsp> NativeEffect(const std::string& name) {
  if (name == "zita") return std::make_unique<ZitaNative>();
  if (name == "djembe") return std::make_unique<DjembeNative>();
  if (name == "filterbank") return std::make_unique<FilterbankNative>();
  return nullptr;
}
