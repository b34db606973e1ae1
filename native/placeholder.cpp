// Stands for a Windows-only test program in the native build, where it is never built.
int main() {
    return 0;
}
