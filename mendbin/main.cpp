// Placeholder entry until the patcher lands.
int main() { return 1; }
