'''org.freedesktop.ScreenSaver as Veluna uses it: Inhibit(ss) -> u cookie, UnInhibit(u).

Like the real services, it rejects calls whose argument types differ from the method's
signature, and an unknown cookie.
Parameters: "first_cookie" (int), "refuse" (bool: Inhibit fails), "stall_seconds" (float:
Inhibit answers only after that long).
'''

import time

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.next_cookie = parameters.get('first_cookie', 6303)
    mock.refuse = parameters.get('refuse', False)
    mock.stall_seconds = parameters.get('stall_seconds', 0)
    mock.held = []


def check_signature(message, expected):
    if message.get_signature() != expected:
        raise dbus.exceptions.DBusException(
            f'expected ({expected}), got ({message.get_signature()})',
            name='org.freedesktop.DBus.Error.InvalidArgs')


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='u',
                     message_keyword='message')
def Inhibit(self, application, reason, message=None):
    # pylint: disable=unused-argument
    check_signature(message, 'ss')
    time.sleep(self.stall_seconds)
    if self.refuse:
        raise dbus.exceptions.DBusException('inhibition declined',
                                            name='org.freedesktop.ScreenSaver.Error')
    cookie = self.next_cookie
    self.next_cookie += 1
    self.held.append(cookie)
    return dbus.UInt32(cookie)


@dbus.service.method(MAIN_IFACE, in_signature='u', out_signature='', message_keyword='message')
def UnInhibit(self, cookie, message=None):
    check_signature(message, 'u')
    if cookie not in self.held:
        raise dbus.exceptions.DBusException('unknown cookie',
                                            name='org.freedesktop.ScreenSaver.Error')
    self.held.remove(cookie)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Held(self):
    return [str(cookie) for cookie in self.held]
