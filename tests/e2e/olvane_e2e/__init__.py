"""Helpers that start the real agent and talk to it the way the phone does."""
from . import programs  # noqa: F401  (refuses to start programs missing from the list)
from .agent import Agent
from .case import AgentTestCase
from .phone import Phone
from .process import wait_for
