"""Helpers that start the real agent and talk to it the way the phone does."""
from .agent import Agent
from .phone import Phone
