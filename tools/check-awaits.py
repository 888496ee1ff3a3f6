#!/usr/bin/env python3
"""Refuses a co_await that GCC 12 miscompiles: one inside the condition of an if, while, for or switch, a
call's argument list, or a full expression that also holds a short-circuit (&&, ||), a conditional (?:) or a
throw. Resuming there jumps to a garbage address or frees a temporary twice; awaiting in a statement of its
own (`const auto x = co_await f(); if (!x || g)`) is always sound.

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
        self.awaits = []  # lines of co_awaits not already refused
        self.hazard = None


def offenders(text):
    """(line, reason) for each refused co_await of one source text."""
    found = []
    # Each frame: [kind, expression]; kind is "block", "condition", "call" or "group".
    stack = [["block", Expression()]]
    previous = (None, None)  # the last token and whether it was a name
    before = None  # the token before that

    def block():
        return next(frame for frame in reversed(stack) if frame[0] == "block")

    def finish(frame):
        expression = frame[1]
        if expression.hazard:
            reason = f"co_await in an expression with {expression.hazard}"
            found.extend((line, reason) for line in expression.awaits)
        frame[1] = Expression()

    for line, token, spaced in tokens(strip(text)):
        last, last_is_name = previous
        if token == "co_await" and last != "operator":
            enclosing = None
            for frame in reversed(stack):
                if frame[0] == "block":
                    break
                if frame[0] in ("condition", "call"):
                    enclosing = frame[0]
            if enclosing == "condition":
                found.append((line, "co_await in a condition"))
            elif enclosing == "call":
                found.append((line, "co_await in a call's argument list"))
            else:
                block()[1].awaits.append(line)
        elif token in ("||", "?") or (token == "&&" and spaced):
            expression = block()[1]
            expression.hazard = expression.hazard or ("a conditional" if token == "?" else "a short-circuit")
        elif token == "throw":
            expression = block()[1]
            expression.hazard = expression.hazard or "a throw"
        elif token == "(":
            if last in CONDITION_KEYWORDS or (last == "constexpr" and before == "if"):
                kind = "condition"
            elif last in GROUPING_KEYWORDS or not (last_is_name or last in (")", "]", ">")):
                kind = "group"
            else:
                kind = "call"
            stack.append([kind, None])
        elif token == ")":
            if len(stack) > 1 and stack[-1][0] != "block":
                kind = stack.pop()[0]
                # The body of an if or a loop is an expression of its own.
                if kind == "condition" and stack[-1][0] == "block":
                    finish(stack[-1])
        elif token == "{":
            stack.append(["block", Expression()])
        elif token == "}":
            while len(stack) > 1 and stack[-1][0] != "block":
                stack.pop()  # a parenthesis left open, as by a macro
            if len(stack) > 1:
                finish(stack[-1])
                stack.pop()
                # A lambda's body or a braced list may end mid-expression; a statement block never does.
                if stack[-1][0] == "block" and last in (";", "{", "}"):
                    finish(stack[-1])
        elif token == ";" and stack[-1][0] == "block":
            finish(stack[-1])
        elif token in STATEMENT_KEYWORDS and stack[-1][0] == "block":
            finish(stack[-1])
        before = last
        previous = (token, bool(re.match(r"[A-Za-z_]", token)) and token not in GROUPING_KEYWORDS)
    finish(stack[0])
    return sorted(set(found))


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
        print(f"{count} co_await(s) where GCC 12 miscompiles them: await in a statement of its own",
              file=sys.stderr)
    return 1 if count else 0


# (code, the lines refused) — each a body the checker must read right.
CASES = [
    ("if (!co_await f() || g) co_return;", [1]),
    ("if (co_await f()) x();", [1]),
    ("while (co_await more()) {}", [1]),
    ("for (auto x : co_await all()) use(x);", [1]),
    ("throw pairingError(co_await recordCommitFailure(record));", [1]),
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
