// Floor probe for start-up: a console program that does nothing, built and
// linked like querna-find.exe.
int main() {
    return 0;
}
