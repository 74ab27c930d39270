// The static variable of an inline function is a GNU_UNIQUE object in g++ output.
inline int& tally() {
    static int n;
    return n;
}
int bump() {
    return ++tally();
}
