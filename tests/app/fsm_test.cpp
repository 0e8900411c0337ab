#include "app/fsm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvane;

namespace {

struct Panel : StatusTextTarget {
  std::vector<std::string> texts;
  void SetTextAndRepaint(std::string_view t) override { texts.emplace_back(t); }
};

}  // namespace

TEST(Tfsm, TransitionTable) {
  // rows: state before; columns Preview, Load, Calculate, Stack, Done; cells: state / last (-1 keeps)
  const int table[5][5][2] = {
      {{1, -1}, {2, -1}, {3, -1}, {4, -1}, {0, 0}},
      {{1, -1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}},
      {{0, 2}, {2, -1}, {0, 2}, {0, 2}, {0, 2}},
      {{0, 3}, {0, 3}, {3, -1}, {0, 3}, {0, 3}},
      {{0, 4}, {0, 4}, {0, 4}, {4, -1}, {0, 4}},
  };
  for (int before = 0; before < 5; ++before) {
    for (int ev = 0; ev < 5; ++ev) {
      for (int last0 : {0, 3}) {
        Tfsm m;
        // reach (before, last0)
        if (last0 == 3) { m.EventCalculate(); m.EventDone(); }
        switch (before) {
          case 1: m.EventPreview(); break;
          case 2: m.EventLoad(); break;
          case 3: m.EventCalculate(); break;
          case 4: m.EventStack(); break;
          default: break;
        }
        ASSERT_EQ(m.GetState(), before);
        bool r = false;
        switch (ev) {
          case 0: r = m.EventPreview(); break;
          case 1: r = m.EventLoad(); break;
          case 2: r = m.EventCalculate(); break;
          case 3: r = m.EventStack(); break;
          case 4: r = m.EventDone(); break;
        }
        EXPECT_EQ(m.GetState(), table[before][ev][0]) << before << " " << ev;
        const int last = table[before][ev][1] < 0 ? last0 : table[before][ev][1];
        EXPECT_EQ(m.GetLastCompleted(), last) << before << " " << ev;
        EXPECT_EQ(r, ev == 4 || m.GetState() == ev + 1);
      }
    }
  }
}

TEST(Tfsm, TextsAndHandlerCalls) {
  Tfsm m;
  Panel panel;
  int calls = 0;
  m.SetStatusTarget(&panel);
  m.SetOnChange([&] { ++calls; });
  m.EventDone();
  EXPECT_EQ(panel.texts.back(), "IDLE");
  m.EventPreview();
  m.EventPreview();
  EXPECT_EQ(panel.texts.back(), "PREVIEW");
  EXPECT_EQ(m.GetState(), 1);
  calls = 0;
  panel.texts.clear();
  m.EventDone();
  m.EventLoad();
  m.EventDone();
  EXPECT_EQ(panel.texts, (std::vector<std::string>{"PREVIEWED", "LOAD", "LOADED"}));
  EXPECT_EQ(calls, 3);
  m.EventLoad();
  EXPECT_FALSE(m.EventStack());  // refused: the load stage is finished instead
  EXPECT_EQ(panel.texts.back(), "LOADED");
  EXPECT_EQ(m.GetState(), 0);
  m.EventDone();
  EXPECT_EQ(m.GetLastCompleted(), 0);  // Done while idle forgets the last stage
  EXPECT_EQ(panel.texts.back(), "IDLE");
}

TEST(ChangeHandlerEffects, WhatEachStateEnables) {
  WindowEnables idle = ChangeHandlerEffects(0, 0);
  EXPECT_FALSE(idle.PreviewTabEnabled);
  EXPECT_FALSE(idle.Load || idle.Go || idle.Calculate || idle.Save);
  EXPECT_FALSE(idle.ResetResultCursor);

  WindowEnables preview = ChangeHandlerEffects(1, 0);
  EXPECT_TRUE(preview.PreviewTabEnabled);
  EXPECT_EQ(preview.Load, true);
  EXPECT_EQ(preview.Go, false);
  EXPECT_TRUE(preview.ClearManualMark);

  WindowEnables loaded = ChangeHandlerEffects(0, 2);
  EXPECT_EQ(loaded.Go, true);
  EXPECT_EQ(loaded.Calculate, true);
  EXPECT_FALSE(loaded.Reset.has_value());
  EXPECT_EQ(loaded.PictureCalculated, false);

  WindowEnables stacked = ChangeHandlerEffects(0, 4);
  EXPECT_EQ(stacked.Reset, true);
  EXPECT_EQ(stacked.SaveStacked, true);

  WindowEnables calculated = ChangeHandlerEffects(0, 3);
  EXPECT_EQ(calculated.Save, true);
  EXPECT_EQ(calculated.PictureCalculated, true);
  EXPECT_FALSE(calculated.Go.has_value());

  WindowEnables calculating = ChangeHandlerEffects(3, 2);
  EXPECT_EQ(calculating.Calculate, false);
  EXPECT_FALSE(calculating.Go.has_value());
}
