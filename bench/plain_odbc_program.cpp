// The yardstick for start-up: a program that prints a version line and is
// linked with unixODBC, which it loads but does not call.
#include <sql.h>

#include <cstdio>

int main(int argc, char**) {
    // Referenced, so that the linker keeps the library; never called here.
    if (argc > 99) return SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, nullptr);
    std::puts("plain 1.0");
    return 0;
}
