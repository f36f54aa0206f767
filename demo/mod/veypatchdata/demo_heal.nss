// demo_heal: heals the speaker and names the new blade in the journal.
void main()
{
    object oPC = GetFirstPC();
    int nBladeName = #StrRef0#;
    int nGuardLook = #2DAMEMORY1#;
    SendMessageToPC(oPC, GetStringByStrRef(nBladeName));
    SetLocalInt(oPC, "DEMO_GUARD_LOOK", nGuardLook);
}
