// UOutcome: the closing and failure messages of a run.
#include "engine/support/UOutcome.h"

#include "common/StrFormat.h"
#include "engine/support/EngineErrors.h"
#include "formats/U2DAEdit.h"
#include "formats/UERFHandler.h"
#include "formats/UGFFFile.h"
#include "formats/UTLKFile.h"

namespace vey {

std::string FailureMessage(const Exception& e) {
  std::string tag;
  if (dynamic_cast<const EHell*>(&e))
    tag = "TLK";
  else if (dynamic_cast<const EDead*>(&e))
    tag = "2DA-" + IntToStr(e.Code());
  else if (dynamic_cast<const EAbort*>(&e))
    tag = "GEN-" + IntToStr(e.Code());
  else if (dynamic_cast<const EGFFError*>(&e))
    tag = "GFF-" + IntToStr(e.Code());
  else if (dynamic_cast<const EERFError*>(&e))
    tag = "ERF-" + IntToStr(e.Code());
  else
    return std::string("An unhandled error occured! ") + e.what();
  return FormatMsg("An error occured! %s (%s)", {e.what(), tag});
}

std::string OutcomeMessage(bool installer, std::int32_t warnings, std::int32_t errors) {
  std::string who = installer ? "The Installer" : "The Patcher";
  if (errors == 0 && warnings == 0)
    return who + " is finished. Please check the progress log for details about what has been done.";
  if (errors == 0)
    return FormatMsg(who + " is finished, but %s warnings were encountered! The Mod may or may not be "
                           "properly installed. Please check the progress log for further details.",
                     {IntToStr(warnings)});
  if (warnings == 0)
    return FormatMsg(who + " is finished, but %s errors were encountered! The Mod has likely not been "
                           "properly installed. Please check the progress log for further details.",
                     {IntToStr(errors)});
  return FormatMsg(who + " is finished, but %s errors and %s warnings were encountered! The Mod most "
                         "likely has not been properly installed. Please check the progress log for "
                         "further details.",
                   {IntToStr(errors), IntToStr(warnings)});
}

}  // namespace vey
