#include "db/signal_loader.h"

#include <gtest/gtest.h>

#include "platform/fake_clock.h"
#include "support/event_texts.h"
#include "support/test_db.h"

namespace liron {
namespace {

class SignalLoader : public test::DbTest {
 protected:
  void SetUp() override {
    test::DbTest::SetUp();
    ASSERT_TRUE(db().Open(conn_));
  }
  void TearDown() override {
    if (schema_changed_) db().RecreateSchema();
  }
  bool Load(std::vector<std::string>* names = nullptr) {
    std::string err;
    const bool ok = LoadSignals(conn_, image_, events_, &err, names);
    EXPECT_TRUE(ok) << err;
    return ok;
  }
  void InsertSignals(int n) {
    std::string sql = "insert into `signal` values ";
    for (int i = 0; i < n; ++i)
      sql += std::string(i ? "," : "") + "('V120', 'S" + std::to_string(100 + i) +
             "', 1, " + std::to_string(i) + ", 0, 0, 0, 'READ')";
    ASSERT_TRUE(db().Exec(sql));
  }

  FakeClock clock_;
  TEventFIFO events_{400, clock_};
  TProcessImage image_{clock_};
  TMySQLConnection conn_;
  bool schema_changed_ = false;
};

struct Expected {
  const char* bus;
  const char* name;
  int dev, addr, kind;
  bool inverse;
  const char* dir;
};

TEST_F(SignalLoader, DefaultPlanFromTheColumnsOfPuData) {
  std::vector<std::string> calib_names;
  ASSERT_TRUE(Load(&calib_names));
  const Expected expected[] = {
      {"JUMO", "PLS", 1, 53, kKindFloat, true, "READ"},
      {"JUMO", "TNK1", 1, 71, kKindFloat, true, "READ"},
      {"JUMO", "PLS2", 2, 53, kKindFloat, true, "READ"},
      {"JUMO", "TNK2", 2, 71, kKindFloat, true, "READ"},
      {"JUMO", "_PLSZ", 1, 8, kKindFloat, true, "WRITE"},
      {"JUMO", "_URNSZ", 2, 8, kKindFloat, true, "WRITE"},
      {"CALC", "RAB", 0, 0, kKindFloat, true, ""},
      {"CALC", "RN", 0, 0, kKindFloat, true, ""},
      {"V120", "G_1T1", 1, 52, kKindLong, false, "READ"},   // used running address 110
      {"V120", "V1", 1, 111, kKindInt, false, "READ"},
      {"V120", "BKK3", 1, 10, kKindBit, false, "READ"},    // used 112
  };
  const size_t n = std::size(expected);
  ASSERT_EQ(image_.SignalCount.load(), static_cast<int>(n));  // RecMoment and I_1T1 skipped
  ASSERT_EQ(image_.Signals.size(), n);
  ASSERT_EQ(image_.SignalNames.size(), n);
  for (size_t i = 0; i < n; ++i) {
    const TSignalSet& s = image_.Signals[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(s.BusName, expected[i].bus);
    EXPECT_EQ(s.SignalName, expected[i].name);
    EXPECT_EQ(image_.SignalNames[i], expected[i].name);
    EXPECT_EQ(calib_names[i], expected[i].name);
    EXPECT_EQ(s.DevNum, expected[i].dev);
    EXPECT_EQ(s.Addr, expected[i].addr);
    EXPECT_EQ(s.Kind, expected[i].kind);
    EXPECT_EQ(s.InverseBytes, expected[i].inverse);
    EXPECT_EQ(s.InverseWords, expected[i].inverse);
    EXPECT_EQ(s.Direction, expected[i].dir);
    ASSERT_EQ(s.CalibCount, 2);
    EXPECT_EQ(s.AVal[0], 0);
    EXPECT_EQ(s.FVal[0], 0);
    EXPECT_EQ(s.AVal[1], 100);
    EXPECT_EQ(s.FVal[1], 100);
    EXPECT_NE(image_.Averages[i], nullptr);
  }
  EXPECT_EQ(image_.Averages[n], nullptr);

  // Stored: each row in `signal`, each with its two calibration points.
  EXPECT_EQ(db().Scalar("select concat_ws(',', BusName, DevNum, Addr, Kind, InverseBytes, "
                        "InverseWords, Direction) from `signal` where SignalName='PLS'"),
            "JUMO,1,53,1,1,1,READ");
  EXPECT_EQ(db().Scalar("select concat_ws(',', BusName, DevNum, Addr, Kind, Direction) "
                        "from `signal` where SignalName='RN'"),
            "CALC,0,0,1,");
  EXPECT_EQ(db().Count("`signal`"), static_cast<int64_t>(n));
  EXPECT_EQ(db().Count("kalibr"), static_cast<int64_t>(2 * n));
  EXPECT_EQ(db().Scalar("select group_concat(concat(AVal, ':', FVal) order by AVal) from kalibr "
                        "where SignalName='G_1T1'"),
            "0:0,100:100");
  EXPECT_TRUE(test::DrainTexts(events_).empty());

  // Loading again reads the stored plan in table order and inserts nothing.
  ASSERT_TRUE(Load(&calib_names));
  EXPECT_EQ(db().Count("`signal`"), static_cast<int64_t>(n));
  EXPECT_EQ(db().Count("kalibr"), static_cast<int64_t>(2 * n));
  ASSERT_EQ(image_.SignalCount.load(), static_cast<int>(n));
  EXPECT_EQ(image_.Signals[0].BusName, "CALC");  // order by BusName, SignalName
  EXPECT_EQ(image_.Signals[0].SignalName, "RAB");
  EXPECT_EQ(image_.SignalIndex("pls"), image_.SignalIndex("PLS"));
  EXPECT_EQ(calib_names, image_.SignalNames);
}

TEST_F(SignalLoader, DemoPlanWithItsCalibrations) {
  ASSERT_TRUE(db().LoadDemoPlan());
  ASSERT_TRUE(Load());
  const int pls = image_.SignalIndex("PLS");
  ASSERT_NE(pls, kSpareSlot);
  const TSignalSet& s = image_.Signals[pls];
  EXPECT_EQ(s.Kind, kKindFloat);
  ASSERT_EQ(s.CalibCount, 2);
  EXPECT_EQ(s.FVal[0], 1.0);
  EXPECT_EQ(s.FVal[1], 2.0);
  const TSignalSet& tnk = image_.Signals[image_.SignalIndex("TNK1")];
  ASSERT_EQ(tnk.CalibCount, 3);
  EXPECT_EQ(tnk.AVal[1], 50);
  EXPECT_EQ(tnk.FVal[1], 48);
  EXPECT_EQ(image_.Signals[image_.SignalIndex("RAB")].Direction, "");
  EXPECT_EQ(db().Count("`signal`"), 11);
}

TEST_F(SignalLoader, MoreThanAHundredRowsLeaveThePlanAlone) {
  ASSERT_TRUE(db().LoadDemoPlan());
  ASSERT_TRUE(Load());
  const int before = image_.SignalCount;
  const std::vector<std::string> names_before = image_.SignalNames;
  test::DrainTexts(events_);

  ASSERT_TRUE(db().Exec("delete from `signal`"));
  InsertSignals(101);
  std::vector<std::string> calib_names = {"untouched"};
  ASSERT_TRUE(Load(&calib_names));
  EXPECT_EQ(test::DrainTexts(events_), std::vector<std::string>{"### Слишком много сигналов ###"});
  EXPECT_EQ(image_.SignalCount.load(), before);
  EXPECT_EQ(image_.SignalNames, names_before);
  EXPECT_EQ(calib_names, std::vector<std::string>{"untouched"});

  ASSERT_TRUE(db().Exec("delete from `signal` where SignalName='S200'"));
  ASSERT_TRUE(Load(&calib_names));
  EXPECT_TRUE(test::DrainTexts(events_).empty());
  EXPECT_EQ(image_.SignalCount.load(), 100);
  EXPECT_EQ(image_.SignalNames[99], "S199");
  EXPECT_EQ(calib_names.size(), 100u);
  EXPECT_NE(image_.Averages[99], nullptr);
  EXPECT_EQ(db().Count("kalibr"), 24 + 200);  // the demo's points stay, S100..S199 got theirs
}

TEST_F(SignalLoader, RowsThePlanCannotHoldAreRefused) {
  ASSERT_TRUE(db().Exec("insert into `signal` values ('JUMO', 'PLS', 1, 53, 1, 1, 1, 'READ'), "
                        "('JUMO', 'A''B', 1, 71, 1, 1, 1, 'READ'), "
                        "('V120', 'X Y', 1, 110, 0, 0, 0, 'READ'), "
                        "('V120', 'G_1T1', 1, 52, 2, 0, 0, 'READ'), "
                        "('V120', 'G_1T2', 1, 54, 2, 0, 0, 'READ')"));
  ASSERT_TRUE(Load());
  EXPECT_EQ(test::DrainTexts(events_),
            (std::vector<std::string>{"### Недопустимое имя сигнала: A'B ###",
                                      "### Недопустимое имя сигнала: X Y ###",
                                      "### Второй интегральный счетчик отклонен: G_1T2 ###"}));
  ASSERT_EQ(image_.SignalNames, (std::vector<std::string>{"PLS", "G_1T1"}));
  EXPECT_EQ(db().Count("kalibr"), 4);
}

TEST_F(SignalLoader, CalibrationsInOrderWithoutHalfPointsAndCappedAtTheUsableSize) {
  ASSERT_TRUE(db().Exec("insert into `signal` values ('JUMO', 'PLS', 1, 53, 1, 1, 1, 'READ'), "
                        "('JUMO', 'TNK1', 1, 71, 1, 1, 1, 'READ')"));
  ASSERT_TRUE(db().Exec("insert into kalibr values ('PLS', 100, 2), ('PLS', 0, 1), ('PLS', 50, 1.45), "
                        "('PLS', 75, NULL), ('PLS', NULL, 3)"));
  std::string many = "insert into kalibr values ";
  for (int i = 0; i < 600; ++i) many += std::string(i ? "," : "") + "('TNK1', " + std::to_string(i) + ", " + std::to_string(i * 2) + ")";
  ASSERT_TRUE(db().Exec(many));
  ASSERT_TRUE(Load());
  const TSignalSet& pls = image_.Signals[image_.SignalIndex("PLS")];
  ASSERT_EQ(pls.CalibCount, 3);
  EXPECT_EQ(pls.AVal[0], 0);
  EXPECT_EQ(pls.FVal[1], 1.45);
  EXPECT_EQ(pls.AVal[2], 100);
  const TSignalSet& tnk = image_.Signals[image_.SignalIndex("TNK1")];
  EXPECT_EQ(tnk.CalibCount, kMaxUsableCalibPoints);
  EXPECT_EQ(tnk.AVal[510], 510);
  EXPECT_EQ(tnk.FVal[510], 1020);
  EXPECT_EQ(test::DrainTexts(events_),
            (std::vector<std::string>{"### Неполная точка калибровки пропущена: PLS ###",
                                      "### Неполная точка калибровки пропущена: PLS ###",
                                      "### Слишком много точек калибровки: TNK1 ###"}));
  EXPECT_EQ(db().Count("kalibr"), 605);  // nothing inserted, nothing removed
}

TEST_F(SignalLoader, WidePuDataGivesAtMostAHundredRows) {
  schema_changed_ = true;
  std::string alter = "alter table pu_data ";
  for (int i = 0; i < 95; ++i) alter += std::string(i ? ", " : "") + "add column W" + std::to_string(i) + " double";
  ASSERT_TRUE(db().Exec(alter));
  ASSERT_TRUE(db().Exec("alter table pu_data add column `bad name` double"));
  ASSERT_TRUE(Load());
  EXPECT_EQ(image_.SignalCount.load(), 100);  // 11 plant columns + 89 of the 95 added
  EXPECT_EQ(image_.SignalNames.back(), "W88");
  EXPECT_EQ(db().Count("`signal`"), 100);
  EXPECT_EQ(test::DrainTexts(events_), (std::vector<std::string>{
                                 "### Недопустимое имя сигнала: bad name ###",
                                 "### Слишком много сигналов ###"}));
}

TEST_F(SignalLoader, FailedDefaultPlanLeavesNeitherTableNorPlanHalfDone) {
  ASSERT_TRUE(db().LoadDemoPlan());
  ASSERT_TRUE(Load());
  const std::vector<std::string> names_before = image_.SignalNames;
  ASSERT_TRUE(db().Exec("delete from `signal`"));
  schema_changed_ = true;
  // A column name too long for `signal`.SignalName: its insert is rejected.
  ASSERT_TRUE(db().Exec("alter table pu_data add column A_VERY_LONG_SIGNAL_NAME_X double"));
  std::string err;
  EXPECT_FALSE(LoadSignals(conn_, image_, events_, &err));
  EXPECT_NE(err.find("A_VERY_LONG_SIGNAL_NAME_X"), std::string::npos) << err;
  EXPECT_EQ(db().Count("`signal`"), 0);
  EXPECT_EQ(image_.SignalNames, names_before);
}

TEST_F(SignalLoader, DefaultCalibrationGoesInWholeOrNotAtAll) {
  schema_changed_ = true;
  ASSERT_TRUE(db().Exec("insert into `signal` values ('JUMO', 'PLS', 1, 53, 1, 1, 1, 'READ')"));
  ASSERT_TRUE(db().Exec("create trigger refuse_second_point before insert on kalibr for each row "
                        "if new.AVal = 100 then signal sqlstate '45000' set message_text = "
                        "'refused'; end if"));
  std::string err;
  EXPECT_FALSE(LoadSignals(conn_, image_, events_, &err));
  EXPECT_NE(err.find("refused"), std::string::npos) << err;
  EXPECT_EQ(db().Count("kalibr"), 0);  // no lone first point that the next load would keep
}

TEST_F(SignalLoader, LostConnectionIsAnErrorAndThePlanStays) {
  conn_.Close();
  std::string err;
  EXPECT_FALSE(LoadSignals(conn_, image_, events_, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(image_.SignalCount.load(), 0);
}

}  // namespace
}  // namespace liron
