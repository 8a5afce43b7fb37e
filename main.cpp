// Placeholder entry until the host lands.
int main() { return 0; }
