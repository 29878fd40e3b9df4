# SPDX-License-Identifier: MIT
'''A desktop service Veluna takes inhibitions from: Inhibit hands out a cookie or, from the
portal, a request object closed to give it back. VELUNA_MOCK_SERVICE names the service (dbusmock
reads the bus name before any parameter). Like the real ones it rejects arguments of wrong types
and unknown cookies. Mock.State lists "refused|<arguments>" per refused Inhibit and
"unknown|<cookie>" per release of a cookie not held, in order, then the arguments of each
inhibition held (the portal's options by "reason"). Parameters: "refuse" (bool: Inhibit fails),
"stall_seconds" (float: Inhibit answers only then), "mark_releases" (bool: a release also
leaves "released|<arguments>").
'''

import os
import time

import dbus
from dbus.exceptions import DBusException

from dbusmock import MOCK_IFACE

SERVICES = {  # bus name: object path, interface, Inhibit signature, release method, first cookie
    'org.gnome.SessionManager':
        ('/org/gnome/SessionManager', 'org.gnome.SessionManager', 'susu', 'Uninhibit', 4101),
    'org.freedesktop.PowerManagement': ('/org/freedesktop/PowerManagement/Inhibit',
        'org.freedesktop.PowerManagement.Inhibit', 'ss', 'UnInhibit', 5202),
    'org.freedesktop.ScreenSaver':
        ('/org/freedesktop/ScreenSaver', 'org.freedesktop.ScreenSaver', 'ss', 'UnInhibit', 6303),
    'org.freedesktop.portal.Desktop':
        ('/org/freedesktop/portal/desktop', 'org.freedesktop.portal.Inhibit', 'sua{sv}', None, 1),
}
BUS_NAME = os.environ['VELUNA_MOCK_SERVICE']
MAIN_OBJ, MAIN_IFACE, INHIBIT_SIGNATURE, RELEASE, FIRST_COOKIE = SERVICES[BUS_NAME]
SYSTEM_BUS = False


def load(mock, parameters):
    mock.refuse = parameters.get('refuse', False)
    mock.stall_seconds = parameters.get('stall_seconds', 0)
    mock.mark_releases = parameters.get('mark_releases', False)
    mock.next_cookie = FIRST_COOKIE
    mock.marks, mock.held = [], {}


def expect(message, signature):
    if message.get_signature() != signature:
        raise DBusException(f'expected ({signature}), got ({message.get_signature()})',
                            name='org.freedesktop.DBus.Error.InvalidArgs')


def inhibit(self, *args, message=None):
    expect(message, INHIBIT_SIGNATURE)
    time.sleep(self.stall_seconds)
    arguments = '|'.join(str(a['reason'] if isinstance(a, dict) else a) for a in args)
    if self.refuse:
        self.marks.append('refused|' + arguments)
        raise DBusException('declined', name='org.freedesktop.DBus.Error.AccessDenied')
    cookie, self.next_cookie = self.next_cookie, self.next_cookie + 1
    if RELEASE:
        self.held[cookie] = arguments
        return dbus.UInt32(cookie)
    handle = f'{MAIN_OBJ}/request/veluna/r{cookie}'
    self.AddObject(handle, 'org.freedesktop.portal.Request', {}, [
        ('Close', '', '', f'objects["{MAIN_OBJ}"].held.pop("{handle}")')])
    self.held[handle] = arguments
    return dbus.ObjectPath(handle)


def release(self, cookie, message=None):
    expect(message, 'u')
    arguments = self.held.pop(cookie, None)
    if arguments is None:
        self.marks.append(f'unknown|{cookie}')
        raise DBusException('unknown cookie', name='org.freedesktop.DBus.Error.InvalidArgs')
    if self.mark_releases:
        self.marks.append('released|' + arguments)


def export(name, in_signature, out_signature, function):
    '''dbus-python's decorator wants the arguments spelt out; these depend on the service.'''
    function.__name__ = name
    method = dbus.service.method(MAIN_IFACE, out_signature=out_signature)(function)
    # pylint: disable-next=protected-access
    method._dbus_in_signature, method._dbus_message_keyword = in_signature, 'message'
    globals()[name] = method


export('Inhibit', INHIBIT_SIGNATURE, 'u' if RELEASE else 'o', inhibit)
if RELEASE:
    export(RELEASE, 'u', '', release)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def State(self):
    return self.marks + list(self.held.values())
