# Run time in seconds of the longest tests, read by ctest after the test lists.
# ctest -j starts the costliest first, so the run does not end with one long
# test on one core while the other idles. A run's own timings
# (Testing/Temporary/CTestCostData.txt) take over once there are any.
foreach(entry
    "CompilerPaths.RealWineCompilesInTheSandboxWithoutTouchingHomeOrPrefix=70"
    "DumpCommand.NoTruncationCrashesOrPrintsHalfAFile=17"
    "CliHistory.UninstallKilledAtAnyMomentIsFinishedByTheNextStart=13"
    "InstallResultTruth.UsageErrorsWriteAResultWithTheirVerdict=9"
    "DemoFolders.GeneratorRefusesAFolderInUse=5"
    "CliReplay.AMissingOrChangedLaterModIsRefusedBeforeAnyChange=5"
    "UndoKilled.EveryMomentLeavesTheRunInstalledOrUndoneAndTheRetryFinishes=4"
    "DryRun.ResultFollowsItsSchemaAndListsTheChanges=4")
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 cost)
  set_tests_properties("${name}" PROPERTIES COST ${cost})
endforeach()
