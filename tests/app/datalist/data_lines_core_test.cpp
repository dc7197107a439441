#include "datalist/data_lines.h"

#include <gtest/gtest.h>

namespace larimo {
namespace {

const QString kIdeo(QChar(0x3000));

class DataLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.ClearData();
  }
  void Use(int u) { d.Units[static_cast<size_t>(u)].Mflag = kTrue; }
  void Set(int u, Long i, Single v) {
    d.Units[static_cast<size_t>(u)].Values[static_cast<size_t>(i)] = v;
  }
  ModuleData d;
};

TEST_F(DataLinesTest, ValueColumnsAreTenWideAndLongValuesStayWhole) {
  Use(0);
  Set(0, 0, 1234.5f);
  Set(0, 1, -12.3456f);
  Set(0, 2, 123456.7f);
  EXPECT_EQ(UnitColumn(d, 0, 0, MissingFiller::OnOpen), QStringLiteral("  1234.500"));
  EXPECT_EQ(UnitColumn(d, 0, 1, MissingFiller::OnOpen), QStringLiteral("   -12.346"));
  EXPECT_EQ(UnitColumn(d, 0, 2, MissingFiller::OnRefill), QStringLiteral("123456.700"));
}

TEST_F(DataLinesTest, FillersAreExactlyTheirBlanksAndIdeographicSpaces) {
  EXPECT_EQ(NotInUseFiller(), QStringLiteral("     ") + kIdeo + kIdeo);
  EXPECT_EQ(MissingReadingFiller(MissingFiller::OnOpen), QStringLiteral("      ") + kIdeo + kIdeo);
  EXPECT_EQ(MissingReadingFiller(MissingFiller::OnRefill),
            QStringLiteral("     ") + kIdeo + QStringLiteral(" ") + kIdeo);
}

TEST_F(DataLinesTest, OnlyUnitTwoInUseGivesFillersAroundItsValue) {
  Use(2);
  for (Long i = 0; i < 3; ++i) Set(2, i, 20.0f + static_cast<Single>(i));
  // Values of units not in use are ignored even when set.
  Set(0, 0, 5.0f);
  const QString off = NotInUseFiller();
  for (Long i = 0; i < 3; ++i) {
    const QString expected =
        off + ' ' + off + ' ' + FormatValue(20.0f + static_cast<Single>(i)) + ' ' + off;
    EXPECT_EQ(DataLine(d, i, MissingFiller::OnOpen), expected) << i;
    EXPECT_EQ(DataLine(d, i, MissingFiller::OnRefill), expected) << i;
  }
}

TEST_F(DataLinesTest, MissingReadingOfUnitInUseDependsOnRoutine) {
  Use(0);
  Use(1);
  Set(0, 0, 1.0f);  // unit 1 keeps -999 from ClearData
  const QString open = DataLine(d, 0, MissingFiller::OnOpen);
  const QString refill = DataLine(d, 0, MissingFiller::OnRefill);
  EXPECT_EQ(open, FormatValue(1.0f) + ' ' + MissingReadingFiller(MissingFiller::OnOpen) + ' ' +
                      NotInUseFiller() + ' ' + NotInUseFiller());
  EXPECT_EQ(refill, FormatValue(1.0f) + ' ' + MissingReadingFiller(MissingFiller::OnRefill) + ' ' +
                        NotInUseFiller() + ' ' + NotInUseFiller());
  EXPECT_NE(open, refill);
}

TEST_F(DataLinesTest, IndexOutsideTheBufferIsAMissingReadingNotACrash) {
  Use(0);
  EXPECT_EQ(UnitColumn(d, 0, kBufferSize, MissingFiller::OnOpen),
            MissingReadingFiller(MissingFiller::OnOpen));
  EXPECT_EQ(UnitColumn(d, 0, -1, MissingFiller::OnRefill),
            MissingReadingFiller(MissingFiller::OnRefill));
}

TEST_F(DataLinesTest, ModelListsCountLinesBuiltOnDemand) {
  Use(1);
  Set(1, 0, 10.0f);
  Set(1, 4, 14.0f);
  DataListModel model(d);
  EXPECT_EQ(model.rowCount(), 0);
  model.Reset(5, MissingFiller::OnOpen);
  ASSERT_EQ(model.rowCount(), 5);
  EXPECT_EQ(model.data(model.index(4)).toString(), DataLine(d, 4, MissingFiller::OnOpen));
  EXPECT_EQ(model.data(model.index(2)).toString(), DataLine(d, 2, MissingFiller::OnOpen));
  EXPECT_FALSE(model.data(model.index(0), Qt::DecorationRole).isValid());
  model.Reset(5, MissingFiller::OnRefill);
  EXPECT_EQ(model.data(model.index(2)).toString(), DataLine(d, 2, MissingFiller::OnRefill));
  // Never more lines than the buffers hold.
  model.Reset(kBufferSize + 10, MissingFiller::OnOpen);
  EXPECT_EQ(model.rowCount(), kBufferSize);
}

}  // namespace
}  // namespace larimo
