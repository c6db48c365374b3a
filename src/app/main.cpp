#include <cstdio>

// The window arrives with Form1; until then the program points at the headless converter.
int main()
{
    std::puts("The KELVIQ window is not built yet; use kelviq-convert.");
    return 0;
}
