// The interface, class and folder ids the program uses are defined here, each
// in a section of its own that the linker drops when nothing refers to it.
// Taken from the import library "uuid" instead, they would bring the object
// that defines every id Windows has: tens of kilobytes in each executable.
#include <initguid.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>
