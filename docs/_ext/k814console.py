"""The ``k814-usage`` directive: a console subcommand's usage and options as its parser prints
them, so the console page cannot drift from the console.

``.. k814-usage:: values`` (or ``archive extract``) inserts ``k814util values --help``. A
subcommand that the console of this build does not have (one that comes with another part of
the package) shows the directive's content instead. Once the page is read, every subcommand
the console has must have had its directive: a missing one is a warning, an error under -W.
"""

from __future__ import annotations

import argparse

from docutils import nodes
from docutils.parsers.rst import directives
from sphinx.util import logging
from sphinx.util.docutils import SphinxDirective

logger = logging.getLogger(__name__)


def _subparsers(parser: argparse.ArgumentParser) -> dict[str, argparse.ArgumentParser]:
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction):
            return dict(action.choices)
    return {}


def _commands() -> dict[str, argparse.ArgumentParser]:
    """Every subcommand of the console by its words ("values", "archive extract")."""
    from k814util.console import parser

    top, _ = parser()
    found = {}
    for name, sub in _subparsers(top).items():
        found[name] = sub
        for inner, subsub in _subparsers(sub).items():
            found[f"{name} {inner}"] = subsub
    return found


class UsageDirective(SphinxDirective):
    required_arguments = 1
    final_argument_whitespace = True
    has_content = True
    option_spec = {"class": directives.class_option}

    def run(self):
        words = " ".join(self.arguments[0].split())
        commands = _commands()
        self.env.k814_documented = getattr(self.env, "k814_documented", set()) | {words}
        if words in commands:
            text = commands[words].format_help()
        elif self.content:
            text = "\n".join(self.content)
        else:
            logger.warning(
                "k814util has no subcommand %r and the directive gives no text for it",
                words,
                location=self.get_location(),
            )
            return []
        block = nodes.literal_block(text, text)
        block["language"] = "text"
        return [block]


def _check_all_documented(app, env):
    documented = getattr(env, "k814_documented", set())
    if not documented:
        return  # a build without the console page (a single page, say)
    for words in sorted(set(_commands()) - documented):
        logger.warning("the console page has no k814-usage directive for %r", words)


def _merge(app, env, docnames, other):
    env.k814_documented = getattr(env, "k814_documented", set()) | getattr(
        other, "k814_documented", set()
    )


def _purge(app, env, docname):
    pass  # the set only grows; a removed directive shows on a fresh build


def setup(app):
    app.add_directive("k814-usage", UsageDirective)
    app.connect("env-check-consistency", _check_all_documented)
    app.connect("env-merge-info", _merge)
    app.connect("env-purge-doc", _purge)
    return {"version": "1", "parallel_read_safe": True, "parallel_write_safe": True}
