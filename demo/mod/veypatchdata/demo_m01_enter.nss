// demo_m01_enter: greets the player in the harbour with the captain's title.
void main()
{
    object oEntering = GetEnteringObject();
    if (GetIsPC(oEntering))
        SendMessageToPC(oEntering, GetStringByStrRef(#StrRef2#));
}
