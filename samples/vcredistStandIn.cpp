// Stands in for the VC runtime installer "vcredist_arm64.exe" in the sample payload: it accepts
// any arguments and reports success.
#if defined(TX_NARROW_ENTRY)
int main()
{
   return 0;
}
#else
int wmain(int, wchar_t**)
{
   return 0;
}
#endif
