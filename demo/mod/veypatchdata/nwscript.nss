// nwscript: the game's script functions as the compiler reads them. A mod
// that compiles scripts ships the game's copy beside them; the demo's holds
// only what its own scripts call.
object GetEnteringObject();
object GetFirstPC();
int GetIsPC(object oCreature);
string GetStringByStrRef(int nStrRef);
void SendMessageToPC(object oPlayer, string szMessage);
void SetLocalInt(object oObject, string sVarName, int nValue);
