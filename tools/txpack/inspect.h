// What a packed launcher holds, read with the launcher's own code: its configuration as the
// launcher reads it, the files of its payload, and the signature check it makes of itself and
// of the packages it installs.
#pragma once

#include <string>

// txpack --show: prints everything; 0 when the image could be read as a launcher, else 1.
int Pack_Show(const std::string& image);

// txpack --verify: 0 when the launcher's own signature is sound and its check of its packages
// would go on in a silent run; 1 with the reasons otherwise, also when the file cannot be read or
// it cannot be told whether it is a packed launcher; kNotPackedExitCode when the file is no
// launcher txpack packed. The last line of the output is "Result: ..." with the verdict.
inline constexpr int kNotPackedExitCode = 3;
int Pack_Verify(const std::string& image);
