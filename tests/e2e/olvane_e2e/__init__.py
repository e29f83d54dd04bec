"""Helpers that start the real agent and talk to it the way the phone does."""
from .agent import Agent
from .case import AgentTestCase
from .phone import Phone
