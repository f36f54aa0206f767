// The closing boxes both front ends show: the verdict for the counts in both
// modes, and the failure box with the class tag of each failure class.
#include <gtest/gtest.h>

#include "engine/support/EngineErrors.h"
#include "engine/support/UOutcome.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/UTLKFile.h"

namespace vey {
namespace {

TEST(OutcomeMessage, OneTextPerCaseInEitherMode) {
  struct Case {
    std::int32_t warnings, errors;
    const char* tail;
  };
  const Case cases[] = {
      {0, 0, " is finished. Please check the progress log for details about what has been done."},
      {3, 0, " is finished, but 3 warnings were encountered! The Mod may or may not be properly installed. Please "
             "check the progress log for further details."},
      {0, 2, " is finished, but 2 errors were encountered! The Mod has likely not been properly installed. Please "
             "check the progress log for further details."},
      // Errors come first in the text although the counts are given warnings first.
      {5, 1, " is finished, but 1 errors and 5 warnings were encountered! The Mod most likely has not been properly "
             "installed. Please check the progress log for further details."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutcomeMessage(true, c.warnings, c.errors), std::string("The Installer") + c.tail);
    EXPECT_EQ(OutcomeMessage(false, c.warnings, c.errors), std::string("The Patcher") + c.tail);
    EXPECT_EQ(OutcomeIsAllClear(c.warnings, c.errors), c.warnings == 0 && c.errors == 0);
  }
}

TEST(FailureMessage, ClassTagsAndTheUntaggedClasses) {
  EXPECT_EQ(FailureMessage(EHell("bad talk table")), "An error occured! bad talk table (TLK)");
  EXPECT_EQ(FailureMessage(EDead("bad table", 12)), "An error occured! bad table (2DA-12)");
  EXPECT_EQ(FailureMessage(EAbort("no folder", 6)), "An error occured! no folder (GEN-6)");
  EXPECT_EQ(FailureMessage(EGFFError("bad document", 3)), "An error occured! bad document (GFF-3)");
  // A damaged archive is reported with the archive's own code, not as an unforeseen failure.
  EXPECT_EQ(FailureMessage(EERFError("bad archive", 4)), "An error occured! bad archive (ERF-4)");
}

}  // namespace
}  // namespace vey
