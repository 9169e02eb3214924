// SPDX-License-Identifier: GPL-3.0-or-later
// The host-side objects on their own, with a fake owner.
#include "plexar/vst3/host_objects.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>

#include "plexar/vst3/ref.h"

namespace plexar::vst3 {
namespace {

class FakeOwner final : public HostOwner {
 public:
  void PerformEdit(ParamID id, ParamValue value) override { edits.emplace_back(id, value); }
  void SetDirty(bool) override {}
  void* OfferContextMenu(IPlugView*, const ParamID*) override { return menuHandle; }
  void ExecuteMenuItem(int32 tag) override { executed.push_back(tag); }
  void ResizeView(IPlugView*, ViewRect*) override {}
  int32 InputEventCount() override { return static_cast<int32>(events.size()); }
  bool InputEvent(int32 index, Event& out) override {
    if (index < 0 || index >= InputEventCount()) return false;
    out = events[static_cast<size_t>(index)];
    return true;
  }
  void OutputEvent(const Event&) override {}
  tresult QueryHostObjects(const TUID iid, void** obj) override {
    return handler2 ? handler2->QueryOwn(iid, obj) : kNoInterface;
  }

  std::vector<std::pair<ParamID, ParamValue>> edits;
  std::vector<int32> executed;
  std::vector<Event> events;
  void* menuHandle = nullptr;
  MyComponentHandler2* handler2 = nullptr;
};

TEST(HostObjectsTest, HostApplicationNamesItselfAndMakesOnlyMessages) {
  FakeOwner owner;
  auto app = Ref<MyHostApplication>::Adopt(new MyHostApplication(&owner));
  String128 name{};
  ASSERT_EQ(app->getName(name), kResultOk);
  EXPECT_EQ(std::u16string(name), u"Tarnwick");
  TUID message, attrs;
  std::memcpy(message, IMessage::iid.bytes, 16);
  std::memcpy(attrs, IAttributeList::iid.bytes, 16);
  void* made = nullptr;
  ASSERT_EQ(app->createInstance(message, message, &made), kResultOk);
  auto msg = Ref<IMessage>::Adopt(static_cast<IMessage*>(made));
  msg->setMessageID("ping");
  EXPECT_STREQ(msg->getMessageID(), "ping");
  EXPECT_NE(app->createInstance(attrs, attrs, &made), kResultOk);
  EXPECT_EQ(made, nullptr);
}

TEST(HostObjectsTest, UnansweredRequestsFallBackThroughTheOwnerThenReportWhenDebugging) {
  FakeOwner owner;
  owner.handler2 = new MyComponentHandler2(&owner);
  auto handler = Ref<MyComponentHandler>::Adopt(new MyComponentHandler(&owner));
  auto second = QueryRef<IComponentHandler2>(static_cast<IComponentHandler*>(handler.get()));
  EXPECT_EQ(static_cast<void*>(second.get()), static_cast<void*>(owner.handler2));
  handler->performEdit(3, 0.5);
  EXPECT_EQ(owner.edits.size(), 1u);

  setenv("TESSARY_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(QueryRef<IPlugView>(static_cast<IComponentHandler*>(handler.get())));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unknown request failed\r\n");
  unsetenv("TESSARY_DEBUG");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(QueryRef<IPlugView>(static_cast<IComponentHandler*>(handler.get())));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  // A detached object keeps answering for itself but no longer reaches its owner.
  handler->Detach();
  handler->performEdit(3, 0.7);
  EXPECT_EQ(owner.edits.size(), 1u);
  second.reset();
  owner.handler2->release();
}

TEST(HostObjectsTest, ParameterQueuesAndEventListRefuseIndexesOutside) {
  FakeOwner owner;
  auto changes = Ref<MyParameterChanges>::Adopt(new MyParameterChanges(&owner, nullptr));
  int32 index = -1;
  IParamValueQueue* queue = changes->addParameterData(9, index);
  EXPECT_EQ(index, 0);
  changes->addParameterData(9, index);
  EXPECT_EQ(index, 1);  // every call appends a queue, even for the same id
  EXPECT_EQ(changes->getParameterData(2), nullptr);
  queue->addPoint(12, 0.5, index);
  queue->addPoint(40, 0.75, index);
  EXPECT_EQ(index, 1);
  int32 offset = 0;
  double value = 0;
  ASSERT_EQ(queue->getPoint(1, offset, value), kResultOk);
  EXPECT_EQ(offset, 40);
  EXPECT_EQ(value, 0.75);
  EXPECT_NE(queue->getPoint(2, offset, value), kResultOk);
  EXPECT_NE(queue->getPoint(-1, offset, value), kResultOk);

  owner.events.resize(2);
  auto list = Ref<MyEventList>::Adopt(new MyEventList(&owner));
  Event e{};
  EXPECT_EQ(list->getEventCount(), 2);
  EXPECT_EQ(list->getEvent(1, e), kResultOk);
  EXPECT_NE(list->getEvent(2, e), kResultOk);
}

TEST(HostObjectsTest, AttributesAreTypedAndStringsAreCutToTheCallersSize) {
  FakeOwner owner;
  auto attrs = Ref<MyAttrs>::Adopt(new MyAttrs(&owner));
  attrs->setInt("n", 5);
  attrs->setString("s", u"abcdef");
  const uint8_t blob[3] = {1, 2, 3};
  attrs->setBinary("b", blob, 3);
  int64 n = 0;
  double f = 0;
  EXPECT_EQ(attrs->getInt("n", n), kResultOk);
  EXPECT_EQ(n, 5);
  EXPECT_NE(attrs->getFloat("n", f), kResultOk);  // another kind
  EXPECT_NE(attrs->getInt("missing", n), kResultOk);
  char16 text[4];
  ASSERT_EQ(attrs->getString("s", text, sizeof text), kResultOk);
  EXPECT_EQ(std::u16string(text), u"abc");
  const void* data = nullptr;
  uint32 size = 0;
  ASSERT_EQ(attrs->getBinary("b", data, size), kResultOk);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(static_cast<const uint8_t*>(data)[2], 3);
}

TEST(HostObjectsTest, ContextMenuComesFromTheOwnerAndRunsHostItems) {
  FakeOwner owner;
  auto handler = Ref<MyComponentHandler3>::Adopt(new MyComponentHandler3(&owner));
  EXPECT_EQ(handler->createContextMenu(nullptr, nullptr), nullptr);
  int handle = 0;
  owner.menuHandle = &handle;
  auto menu = Ref<IContextMenu>::Adopt(handler->createContextMenu(nullptr, nullptr));
  ASSERT_TRUE(menu);
  IContextMenuItem item{};
  item.tag = 42;
  menu->addItem(item, nullptr);
  EXPECT_EQ(menu->getItemCount(), 1);
  IContextMenuTarget* target = nullptr;
  ASSERT_EQ(menu->getItem(0, item, &target), kResultOk);
  target->executeMenuItem(item.tag);
  target->release();
  EXPECT_EQ(owner.executed, std::vector<int32>{42});
  EXPECT_NE(menu->getItem(1, item, &target), kResultOk);
}

}  // namespace
}  // namespace plexar::vst3
