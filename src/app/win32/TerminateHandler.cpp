// Linked into each executable. The runtime's default handler for an exception
// that nothing caught prints the exception's type, and brings a C++ name
// demangler of about 45 KB along for it; the GUI program has no console to
// print to, and the console companion catches every exception itself. Ending
// the process is all that is left to do.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
