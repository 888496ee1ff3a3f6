#!/usr/bin/env python3
"""Refuses a co_await that GCC miscompiles: one inside the condition of an if, while, for or switch, a call's
argument list (also inside a braced temporary there), or a full expression that also holds a short-circuit
(&&, ||, and, or), a conditional (?:) or a throw; and the await of a braced temporary (`co_await T{…}`),
which GCC destroys twice. Resuming there jumps to a garbage address or frees a temporary twice; awaiting a
named object in a statement of its own (`const auto x = co_await f(); if (!x || g)`) is always sound.
The project builds with clang; this keeps the code sound for any GCC that may still build it.

    check-awaits.py DIR…      lists every offender as "file:line: reason" and fails when there is one
    check-awaits.py --self-test
"""
import pathlib
import re
import sys

CONDITION_KEYWORDS = {"if", "while", "for", "switch"}
# A parenthesis after these groups an expression rather than calling something.
GROUPING_KEYWORDS = {
    "return", "co_return", "co_await", "co_yield", "throw", "case", "else", "do", "and", "or", "not"
}
STATEMENT_KEYWORDS = {"else", "do"}
# A brace after these opens a statement block (a body); after anything else it opens a braced initializer.
BLOCK_OPENERS = {")", "]", ";", "{", "}", ":", "else", "do", "try", "const", "override", "final", "noexcept",
                 "mutable"}
TOKEN = re.compile(r"\s*(?:([A-Za-z_]\w*)|(\d[\w.']*)|(&&|\|\||::|->|[^\s\w]))")


def blank(match):
    """The match with everything but line breaks turned into spaces, so that lines keep their numbers."""
    return re.sub(r"[^\n]", " ", match.group(0))


def strip(text):
    """The text without comments, string and character literals (raw strings included). Numbers are kept
    whole, so that a digit separator (200'001) opens no character literal."""
    pattern = re.compile(
        r"""(?P<number>\b\d[\w'.]*)|//[^\n]*|/\*.*?\*/|R"(?P<delimiter>[^(\s]*)\(.*?\)(?P=delimiter)"|"""
        r""""(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'""",
        re.S,
    )
    return pattern.sub(lambda match: match.group(0) if match.group("number") else blank(match), text)


def tokens(text):
    """(line, text, spaced) for every token; `spaced` tells whether blank space came right before it."""
    line, position = 1, 0
    while True:
        match = TOKEN.match(text, position)
        if not match or match.end() == position:
            return
        start = match.start(match.lastindex)
        line += text.count("\n", position, start)
        yield line, match.group(match.lastindex), start > position
        line += text.count("\n", start, match.end())
        position = match.end()


class Expression:
    """What one full expression of a block holds so far."""

    def __init__(self):
        self.awaits = []  # lines of co_awaits not refused yet
        self.hazard = None


class Frame:
    """An open block ("block"), braced initializer or class body ("brace"), or parenthesis ("condition",
    "call" or "group")."""

    def __init__(self, kind):
        self.kind = kind
        self.expression = Expression() if kind == "block" else None


class Scanner:
    """Reads one source text token by token and collects (line, reason) for every refused co_await."""

    def __init__(self, stream):
        self.stream = stream  # every (line, token, spaced), for looking ahead
        self.found = []
        self.stack = [Frame("block")]
        self.last, self.last_is_name, self.before = None, False, None
        self.trailing_return = False  # between `) ->` and the body's brace

    def ahead(self, index, count=1):
        return self.stream[index + count][1] if index + count < len(self.stream) else None

    def awaits_braced_temporary(self, index):
        """Whether the co_await at `index` awaits `T{…}`, `ns::T{…}` or `T<…>{…}`."""
        position, depth = index + 1, 0
        while position < len(self.stream):
            token = self.stream[position][1]
            if token == "<":
                depth += 1
            elif token == ">" and depth:
                depth -= 1
            elif token == "{":
                return position > index + 1
            elif not (depth or token == "::" or re.match(r"[A-Za-z_]", token)):
                return False
            position += 1
        return False

    def block(self):
        return next(frame for frame in reversed(self.stack) if frame.kind == "block")

    def finish(self, frame):
        """Ends the block's current expression: its co_awaits are refused if it held a hazard."""
        hazard = frame.expression.hazard
        if hazard:
            reason = f"co_await in an expression with {hazard}"
            self.found.extend((line, reason) for line in frame.expression.awaits)
        frame.expression = Expression()

    def note_hazard(self, hazard):
        expression = self.block().expression
        expression.hazard = expression.hazard or hazard

    def await_at(self, line, index):
        if self.awaits_braced_temporary(index):
            self.found.append((line, "co_await of a braced temporary"))
            return
        enclosing = None
        for frame in reversed(self.stack):
            if frame.kind == "block":
                break
            if frame.kind in ("condition", "call"):
                enclosing = frame.kind
        if enclosing == "condition":
            self.found.append((line, "co_await in a condition"))
        elif enclosing == "call":
            self.found.append((line, "co_await in a call's argument list"))
        else:
            self.block().expression.awaits.append(line)

    def open_parenthesis(self):
        if self.last in CONDITION_KEYWORDS or (self.last == "constexpr" and self.before == "if"):
            self.stack.append(Frame("condition"))
        elif self.last in GROUPING_KEYWORDS or not (self.last_is_name or self.last in (")", "]", ">")):
            self.stack.append(Frame("group"))
        else:
            self.stack.append(Frame("call"))

    def close_parenthesis(self):
        if len(self.stack) > 1 and self.stack[-1].kind != "block":
            closed = self.stack.pop()
            # The body of an if or a loop is an expression of its own.
            if closed.kind == "condition" and self.stack[-1].kind == "block":
                self.finish(self.stack[-1])

    def open_brace(self):
        body = self.last in BLOCK_OPENERS or self.trailing_return or self.last is None
        self.trailing_return = False
        self.stack.append(Frame("block" if body else "brace"))

    def close_block(self):
        while len(self.stack) > 1 and self.stack[-1].kind not in ("block", "brace"):
            self.stack.pop()  # a parenthesis left open, as by a macro
        if len(self.stack) > 1 and self.stack[-1].kind == "brace":
            self.stack.pop()
        elif len(self.stack) > 1:
            self.finish(self.stack.pop())
            # A lambda's body or a braced list may end mid-expression; a statement block never does.
            if self.stack[-1].kind == "block" and self.last in (";", "{", "}"):
                self.finish(self.stack[-1])

    def take(self, index):
        line, token, spaced = self.stream[index]
        at_block = self.stack[-1].kind == "block"
        # `a&&co_await f()` is a short-circuit however it is spaced; an unspaced `T&& x` is a reference.
        short_circuit = token in ("||", "and", "or") or (token == "&&" and (spaced or self.ahead(index) == "co_await"))
        if token == "co_await" and self.last != "operator":
            self.await_at(line, index)
        elif token == "?" or short_circuit:
            self.note_hazard("a conditional" if token == "?" else "a short-circuit")
        elif token == "throw":
            self.note_hazard("a throw")
        elif token == "(":
            self.open_parenthesis()
        elif token == ")":
            self.close_parenthesis()
        elif token == "->" and self.last == ")":
            self.trailing_return = True
        elif token == "{":
            self.open_brace()
        elif token == "}":
            self.close_block()
        elif at_block and (token == ";" or token in STATEMENT_KEYWORDS):
            self.finish(self.stack[-1])
        if token == ";":
            self.trailing_return = False
        self.before = self.last
        self.last = token
        self.last_is_name = bool(re.match(r"[A-Za-z_]", token)) and token not in GROUPING_KEYWORDS


def offenders(text):
    """(line, reason) for each refused co_await of one source text."""
    stream = list(tokens(strip(text)))
    scanner = Scanner(stream)
    for index in range(len(stream)):
        scanner.take(index)
    scanner.finish(scanner.stack[0])
    return sorted(set(scanner.found))


def check(roots):
    count = 0
    for root in roots:
        for path in sorted(pathlib.Path(root).rglob("*")):
            if path.suffix not in (".cpp", ".hpp", ".h") or not path.is_file():
                continue
            for line, reason in offenders(path.read_text(errors="replace")):
                print(f"{path}:{line}: {reason}")
                count += 1
    if count:
        print(f"{count} co_await(s) where GCC miscompiles them: await a named object in a statement of its own",
              file=sys.stderr)
    return 1 if count else 0


# (code, the lines refused) — each a body the checker must read right.
CASES = [
    ("if (!co_await f() || g) co_return;", [1]),
    ("if (co_await f()) x();", [1]),
    ("while (co_await more()) {}", [1]),
    ("for (auto x : co_await all()) use(x);", [1]),
    ("throw pairingError(co_await recordCommitFailure(record));", [1]),
    ("throw co_await failure();", [1]),
    ("throw E{co_await f()};", [1]),
    ("use(T{co_await f()});", [1]),
    ("use(T{a, co_await f()}, b);", [1]),
    ("co_await NextCheckChange{framework};", [1]),
    ("co_await ns::Wait<int>{x};", [1]),
    ("const bool ok = co_await a() and b;", [1]),
    ("const bool ok = b or co_await a();", [1]),
    ("const bool ok = a&&co_await f();", [1]),
    ("use(co_await f());", [1]),
    ("outcome.value.emplace(co_await std::move(task));", [1]),
    ("co_return decode<Record>(\n    co_await perform(state));", [2]),
    ("const bool ok = co_await a() && b;", [1]),
    ("const bool ok = b && co_await a();", [1]),
    ("co_return co_await connect() ? 0 : 1;", [1]),
    ("const auto v = flag ? co_await a() : b;", [1]),
    # Sound: each await is a statement of its own, whatever surrounds it.
    ("const bool listed = co_await readListing();\nif (!listed || busy) co_return;", []),
    ("if (a && b) co_await f();", []),
    ("if constexpr (a && b) co_await f();", []),
    ("if constexpr (V) { if (co_await f()) {} }", [1]),
    ("if (a || b) {\n    co_await f();\n}", []),
    ("auto&& x = co_await f();", []),
    ("co_return co_await f(std::move(work));", []),
    ("const auto r = co_await run(std::move(list));", []),
    ("co_await (co_await f());", []),
    ("run([self] { return self && self->ok(); });\nco_await g();", []),
    ("auto work = [] { return a ? b : c; };\nco_await keychain.run(std::move(work));", []),
    ("if (x) throw E();\nco_await f();", []),
    ("auto operator co_await() const { return Awaiter{}; }", []),
    ("log(\"a && b ? co_await\"); // co_await f() || g\nco_await h();", []),
    ("const auto n = 200'001 + u'x';\nif (n > 1'000 && co_await f()) {}", [2]),
    ("task.start([](Token t) -> Task<> {\n    co_await t.sleep();\n});", []),
    ("if (!ok)\n    co_return;\nelse\n    co_await f();", []),
    ("NextCheckChange change{framework};\nco_await change;", []),
    ("const auto r = T{co_await f()};", []),
    ("co_await f(T{a, b});", []),
    ("struct W {\n    bool ready() const { return a && b; }\n};\nco_await f();", []),
    ("namespace n {\nTask<> f() {\n    if (a && b) co_await g();\n}\n}", []),
    ("run([](Token t) -> Task<> {\n    co_await t.sleep();\n});", []),
    ("auto&&x = co_await f();", []),
]


def self_test():
    failures = 0
    for code, expected in CASES:
        got = [line for line, _ in offenders(code)]
        if got != expected:
            failures += 1
            print(f"refused lines {got}, expected {expected}:\n{code}\n")
    print(f"{len(CASES) - failures} of {len(CASES)} cases read right")
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(check(sys.argv[1:]))
