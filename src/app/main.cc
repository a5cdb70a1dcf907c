// Placeholder entry point; the lifecycle replaces it.
int main() {
  return 0;
}
