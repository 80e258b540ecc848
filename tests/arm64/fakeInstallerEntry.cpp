// zig's clang ignores -municode, so the arm64 build of the runtime-installer stand-in gets this
// narrow entry, which calls the stand-in's wide one.
int wmain();

int main()
{
   return wmain();
}
