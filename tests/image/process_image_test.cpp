#include "image/process_image.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/fake_clock.h"

namespace liron {
namespace {

TEST(ProcessImage, DefaultsOfAFreshImage) {
  FakeClock clock(40089.25);
  TProcessImage img(clock);
  TSettings s = img.Settings();
  EXPECT_EQ(s.MaxWriteCount, 5);
  EXPECT_EQ(s.ModBUS_PortName, "COM1");
  EXPECT_EQ(s.ModBUS_PortSpeed, 19200);
  EXPECT_EQ(s.V120_PortSpeed, 9600);
  EXPECT_EQ(s.AverageLen, 60);
  EXPECT_TRUE(s.SaveLogFlag);
  EXPECT_TRUE(s.AutoCleanFlag);
  EXPECT_EQ(s.DatabaseSize, 240);
  EXPECT_EQ(s.Version, 4);
  EXPECT_EQ(s.Comp, "127.0.0.1");
  EXPECT_EQ(s.Login, "root");
  EXPECT_EQ(img.SignalCount, 0);
  EXPECT_DOUBLE_EQ(img.ControlMoment, 40089.25);
  EXPECT_FALSE(img.StopFlag);
}

TEST(ProcessImage, SignalIndexIgnoresCaseAndGivesTheSpareSlot) {
  FakeClock clock;
  TProcessImage img(clock);
  EXPECT_EQ(img.SignalIndex("PLS"), 99);  // no plan yet
  img.SignalNames = {"PLS", "TNK1", "pls"};
  EXPECT_EQ(img.SignalIndex("pLs"), 0);
  EXPECT_EQ(img.SignalIndex("tnk1"), 1);
  EXPECT_EQ(img.SignalIndex("RN"), 99);
}

TEST(ProcessImage, ClearValuesLeavesTheEmulatorFrame) {
  FakeClock clock;
  TProcessImage img(clock);
  for (TSignalValues* f : {&img.RawValues, &img.OutValues, &img.PhysValues, &img.AvgValues,
                           &img.EmulValues}) {
    f->Set(3, 7.0);
    f->SetMoment(1.0);
  }
  img.ClearValues();
  for (TSignalValues* f : {&img.RawValues, &img.OutValues, &img.PhysValues, &img.AvgValues}) {
    EXPECT_EQ(f->Get(3), 0.0);
    EXPECT_EQ(f->GetMoment(), 0.0);
  }
  EXPECT_EQ(img.EmulValues.Get(3), 7.0);
  EXPECT_EQ(img.EmulValues.GetMoment(), 1.0);
}

TEST(ProcessImage, ResetAveragesAppliesTheLengthAndEmptiesEveryAverage) {
  FakeClock clock;
  TProcessImage img(clock);
  img.EnsureAverages(3);
  EXPECT_TRUE(img.Averages[2]);
  EXPECT_FALSE(img.Averages[3]);
  TSettings s = img.Settings();
  s.AverageLen = 7;
  img.SetSettings(s);
  img.ResetAverages();
  img.Averages[0]->Add(1);
  img.ResetAverages();  // same length: still emptied
  EXPECT_EQ(img.Averages[0]->ValCount(), 0);
  EXPECT_EQ(img.Averages[1]->Size(), 7);
}

TEST(SignalValues, ConcurrentAddAndSubtractLoseNothing) {
  TSignalValues v;
  std::thread up([&] {
    for (int i = 0; i < 200000; ++i) v.Add(5, 0.5);
  });
  std::thread down([&] {
    for (int i = 0; i < 200000; ++i) v.Add(5, -0.25);
  });
  up.join();
  down.join();
  EXPECT_DOUBLE_EQ(v.Get(5), 200000 * 0.25);
  EXPECT_EQ(v.Get(150), v.Get(99));  // outside the frame: the spare slot
}

}  // namespace
}  // namespace liron
