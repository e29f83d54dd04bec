# SPDX-License-Identifier: GPL-3.0-or-later
"""Characters per second the agent types into a GTK 3 entry, from the first text sent to the
last line the entry submits, texts sent one after another as a phone would.

Usage: typing_bench.py <agent port> <pairing code>   ($DISPLAY: the agent's X server)
Prints "<key> <value>" lines.
"""
import json
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from olvane_e2e.phone import Phone  # noqa: E402
from olvane_e2e.process import wait_for  # noqa: E402
from olvane_e2e.x11_window import TextField  # noqa: E402

LENGTH = 50
# Kind: how many texts of LENGTH characters, drawn from which characters.
KINDS = {
    "layout": (40, "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 ,.;:!?-'()"),
    # Fewer than there are spare keys: each is lent its key once.
    "lent": (40, "éüñßø€αλΩπжЯд…«¿"),
    # More than there are spare keys (about 20): each is lent a level of one, with Shift or
    # AltGr held when it is not the first.
    "relent": (40, "αβγδεζηθικλμνξοπρστυφχψωабвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
}


def measure(phone, field, count, alphabet, seed):
    rng = random.Random(seed)
    texts = ["".join(rng.choice(alphabet) for _ in range(LENGTH)) for _ in range(count)]
    field.clear()
    started = time.monotonic()
    for text in texts:
        phone.send({"t": "text", "text": text + "\n"})
    wait_for(lambda: len(field.events("submit")) >= len(texts), timeout=600)
    elapsed = time.monotonic() - started
    lines = [json.loads(line) for line in field.events("submit")]
    return count * LENGTH / elapsed, sum(a != b for a, b in zip(lines, texts))


def main():
    port, code = int(sys.argv[1]), sys.argv[2]
    field = TextField("gtk", {"DISPLAY": os.environ["DISPLAY"]}).start()
    phone = Phone(port)
    try:
        phone.pair(code)
        for seed, (kind, (count, alphabet)) in enumerate(KINDS.items()):
            rate, wrong = measure(phone, field, count, alphabet, seed)
            print("typing.%s.chars_per_s %.0f" % (kind, rate))
            print("typing.%s.wrong_texts %d" % (kind, wrong))
    finally:
        phone.close()
        field.stop()


main()
