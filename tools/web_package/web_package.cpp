// Placeholder until the tool is written.
int main() { return 1; }
