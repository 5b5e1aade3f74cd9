// The record-kind cases of every subject file, rendered and checked.
#include "record_cases.h"

namespace pxtest {

TEST_P(MetafileRecord, DrawsWhatGdiDraws) {
  const RecordCase& c = GetParam();
  EmfBuilder b(100, 100);
  c.build(b);
  Rendering r = RenderMetafileBytes(b.Finish(), 100, 100);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(r.width, 100u);
  c.check(r);
}

}  // namespace pxtest
