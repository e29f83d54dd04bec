"""Bluetooth LE in the real agent: without BlueZ, and with a BlueZ on a kernel without Bluetooth."""
import errno
import socket
import unittest

from olvane_e2e import Agent, Phone
from olvane_e2e.bluez import FakeBluez
from olvane_e2e.dbus import DBusBus


def kernel_has_bluetooth():
    try:
        socket.socket(socket.AF_BLUETOOTH, socket.SOCK_SEQPACKET, socket.BTPROTO_L2CAP).close()
    except OSError as e:
        if e.errno == errno.EAFNOSUPPORT:
            return False
        raise
    return True


class BluetoothTest(unittest.TestCase):
    def setUp(self):
        self.agent = Agent()
        self.addCleanup(self.agent.cleanup)

    def assertNetworkServes(self):
        phone = Phone(self.agent.port)
        self.addCleanup(phone.close)
        self.assertEqual(phone.pair("4321")["t"], "paired")

    def test_without_bluez_bluetooth_is_off_and_the_network_serves(self):
        self.agent.start()
        self.assertIn("BLE désactivé (BlueZ indisponible)", self.agent.log_lines())
        self.assertNetworkServes()
        self.agent.stop_cleanly()

    @unittest.skipIf(kernel_has_bluetooth(), "this kernel has Bluetooth")
    def test_bluez_without_kernel_bluetooth_fails_to_publish_and_the_agent_runs_on(self):
        bus = DBusBus(self.agent.workdir, "system_bus").start()
        self.addCleanup(bus.stop)
        bluez = FakeBluez(bus.address, powered=False).start()
        self.addCleanup(bluez.stop)
        self.agent.extra_env["DBUS_SYSTEM_BUS_ADDRESS"] = bus.address
        self.agent.start()
        self.assertNotIn("BLE désactivé (BlueZ indisponible)", self.agent.log_lines())

        # The radio comes on: the agent follows Powered and tries to publish.
        bluez.control().SetPowered(True)
        self.assertTrue(self.agent.wait_for_log("BLE powered on, publishing L2CAP channel"))
        self.assertTrue(self.agent.wait_for_log(
            "BLE publish L2CAP failed: L2CAP socket: Address family not supported by protocol"))
        self.assertNotIn("RegisterApplication", bluez.calls())
        self.assertNetworkServes()
        self.agent.stop_cleanly()


if __name__ == "__main__":
    unittest.main()
