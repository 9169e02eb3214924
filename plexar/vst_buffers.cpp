// SPDX-License-Identifier: GPL-3.0-or-later
// The buffer block: one allocation or one shared-memory mapping holding the input and output
// pointer tables and channels, and the operations that copy or clear channels.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "plexar/vst.h"

namespace plexar {

size_t VST::ChannelBytes() const {
  return static_cast<size_t>(blockSize < 0 ? 0 : blockSize) * (bits == 64 ? 8 : 4);
}

// Layout: input table at 0, input channel k at 8*I + k*C; output table at 8*I*C, output
// channel k at 8*I*C + 8*O + k*C; the whole block is C*(I+O)*8 bytes.
HRESULT VST::MakeBlock(int32_t inputs, int32_t outputs, bool shared, BSTR* mappingName) {
  if (inputTable || outputTable) return S_FALSE;
  if (inputs < 0 || outputs < 0) return E_FAIL;
  const size_t c = ChannelBytes();
  const size_t ins = static_cast<size_t>(inputs), outs = static_cast<size_t>(outputs);
  // Never zero, so that the tables exist even for a plug-in without audio channels.
  size_t bytes = std::max<size_t>(c * (ins + outs) * 8, 16);
  void* memory = nullptr;
  if (shared) {
    std::string text = GuidToText(NewGuid());
    std::string shmName = "/" + text;  // POSIX names need the leading slash
    int fd = shm_open(shmName.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd < 0) return E_FAIL;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0 ||
        (memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
      close(fd);
      shm_unlink(shmName.c_str());
      return E_FAIL;
    }
    sharedFd = fd;
    sharedName = text;
    if (mappingName) *mappingName = text;
  } else {
    memory = std::calloc(bytes, 1);
    if (!memory) return E_FAIL;
  }
  std::memset(memory, 0, bytes);
  auto* base = static_cast<uint8_t*>(memory);
  block = memory;
  blockBytes = bytes;
  inputCount = inputs;
  outputCount = outputs;
  inputTable = reinterpret_cast<void**>(base);
  for (size_t k = 0; k < ins; ++k) inputTable[k] = base + 8 * ins + k * c;
  uint8_t* out = base + 8 * ins * c;
  outputTable = reinterpret_cast<void**>(out);
  for (size_t k = 0; k < outs; ++k) outputTable[k] = out + 8 * outs + k * c;
  return S_OK;
}

HRESULT VST::AllocateBuffers() { return BuildBuffers(false, nullptr); }

HRESULT VST::AllocateSharedBuffers(BSTR* mappingName) {
  if (!mappingName) return E_POINTER;
  return BuildBuffers(true, mappingName);
}

HRESULT VST::AllocateBuffersEx(void*** inputs, void*** outputs) {
  if (!inputs || !outputs) return E_POINTER;
  HRESULT hr = BuildBuffers(false, nullptr);
  *inputs = inputTable;
  *outputs = outputTable;
  return hr;
}

HRESULT VST::GetBuffers(void*** inputs, void*** outputs) {
  if (!inputs || !outputs) return E_POINTER;
  *inputs = inputTable;
  *outputs = outputTable;
  return S_OK;
}

HRESULT VST::FreeBuffers() {
  FreeFormatBuffers();
  if (block) {
    if (sharedFd >= 0) {
      munmap(block, blockBytes);
      close(sharedFd);
      // Processes that mapped the block keep their view; the name goes with its creator.
      shm_unlink(("/" + sharedName).c_str());
    } else {
      std::free(block);
    }
  }
  block = nullptr;
  blockBytes = 0;
  sharedFd = -1;
  sharedName.clear();
  inputTable = outputTable = nullptr;
  inputCount = outputCount = 0;
  pluginLock.ForgetReaders();
  return S_OK;
}

HRESULT VST::ClearInputs() {
  for (int32_t k = 0; inputTable && k < inputCount; ++k) {
    std::memset(inputTable[k], 0, ChannelBytes());
  }
  return S_OK;
}

HRESULT VST::ClearOutputs() {
  for (int32_t k = 0; outputTable && k < outputCount; ++k) {
    std::memset(outputTable[k], 0, ChannelBytes());
  }
  return S_OK;
}

HRESULT VST::PassThrough() {
  if (!outputTable) return S_OK;
  if (!inputTable || inputCount == 0) return ClearOutputs();
  for (int32_t k = 0; k < outputCount; ++k) {
    const void* from = inputTable[k < inputCount ? k : 0];
    std::memcpy(outputTable[k], from, ChannelBytes());
  }
  return S_OK;
}

HRESULT VST::SetInputs(const void* const* channels) {
  if (!channels) return E_POINTER;
  for (int32_t k = 0; inputTable && k < inputCount; ++k) {
    if (channels[k]) std::memcpy(inputTable[k], channels[k], ChannelBytes());
  }
  return S_OK;
}

HRESULT VST::GetOutputs(void* const* channels) {
  if (!channels) return E_POINTER;
  for (int32_t k = 0; outputTable && k < outputCount; ++k) {
    if (channels[k]) std::memcpy(channels[k], outputTable[k], ChannelBytes());
  }
  return S_OK;
}

HRESULT VST::SetInputsArray(ByteArray* array) {
  if (!array) return E_INVALIDARG;
  const size_t ins = static_cast<size_t>(inputCount), c = ChannelBytes();
  if (array->size() < ins * (8 + c)) return E_INVALIDARG;
  auto* slots = reinterpret_cast<const void**>(array->data());
  for (size_t k = 0; k < ins; ++k) slots[k] = array->data() + 8 * ins + k * c;
  return SetInputs(slots);
}

HRESULT VST::GetOutputsArray(ByteArray* array) {
  if (!array) return E_POINTER;
  const size_t outs = static_cast<size_t>(outputCount), c = ChannelBytes();
  ByteArray made(std::max<size_t>(outs * c * 8, 8 * outs + outs * c));
  auto* slots = reinterpret_cast<void**>(made.data());
  for (size_t k = 0; k < outs; ++k) slots[k] = made.data() + 8 * outs + k * c;
  HRESULT hr = GetOutputs(slots);
  if (!Succeeded(hr)) return hr;
  *array = std::move(made);
  return S_OK;
}

}  // namespace plexar
