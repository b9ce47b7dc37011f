// Entry point of quelby; the main routine is being built.
int main() { return 0; }
